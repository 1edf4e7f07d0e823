#pragma once
// Base-10 logarithm that ends the program where it has no value.
//
// Zero of either sign is a singularity ("log10: SING error"), a negative
// value a domain error ("log10: DOMAIN error"); both go through the fatal
// error report. Not-a-number passes through as not-a-number.

namespace rtl {

double checked_log10(double value);

// log10 of a single-precision value, formed in double and rounded once.
float checked_log10(float value);

}  // namespace rtl
