#include "python/notebook.h"

#include <unistd.h>

#include <fstream>
#include <limits>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "gfxwin/png_file.h"
#include "python/docstrings.h"
#include "python/values.h"

namespace pymapplot {
namespace {

// mapplot.Picture, set when the module is made; kept to the end of the process.
py::handle picture_type;

// The PNG file of a picture: an array of shape (height, width, 3), dtype
// uint8. Anything else (a slice of one channel, a sum, a float result of
// arithmetic on it), or a picture too large for a PNG file in memory, gives
// None, and IPython shows its text instead.
py::object picture_png(const py::array& self) {
  constexpr py::ssize_t kLargest = std::numeric_limits<int>::max() / 4;
  if (self.ndim() != 3 || self.shape(2) != 3 || self.shape(0) == 0 || self.shape(1) == 0 ||
      self.shape(0) > kLargest || self.shape(1) > kLargest || self.dtype().kind() != 'u' ||
      self.dtype().itemsize() != 1)
    return py::none();
  const auto rows = py::array_t<std::uint8_t, py::array::c_style>::ensure(self);
  if (!rows) throw py::error_already_set();
  std::string png;
  {
    py::gil_scoped_release encoding;
    png = gfxwin::png_file_bytes(rows.data(), static_cast<int>(rows.shape(1)),
                                 static_cast<int>(rows.shape(0)), rows.strides(0));
  }
  if (png.empty()) return py::none();
  return py::bytes(png);
}

// A file ps_map wrote. A PNG or SVG file is read when it is shown, from where
// it was written even after the current folder changed.
class MapFile {
 public:
  MapFile(std::string name, std::string kind) : name_(std::move(name)), kind_(std::move(kind)) {
    where_ = name_;
    if (where_.empty() || where_.front() != '/') {
      std::string folder(4096, '\0');
      if (getcwd(folder.data(), folder.size()) != nullptr) {
        folder.resize(folder.find('\0'));
        where_ = folder + "/" + name_;
      }
    }
  }

  py::object path() const { return text_object(name_); }
  // "ps" (PostScript and Encapsulated PostScript), "pdf", "png" or "svg".
  py::str format() const {
    if (kind_ == "PostScript") return "ps";
    if (kind_ == "PDF") return "pdf";
    return kind_ == "PNG" ? "png" : "svg";
  }

  py::object png() const {
    if (kind_ != "PNG") return py::none();
    const std::optional<std::string> bytes = contents();
    if (!bytes || bytes->compare(0, 8, "\x89PNG\r\n\x1a\n", 8) != 0) return py::none();
    return py::bytes(*bytes);
  }

  py::object svg() const {
    if (kind_ != "SVG") return py::none();
    const std::optional<std::string> text = contents();
    if (!text) return py::none();
    return text_object(*text);
  }

  std::string repr() const {
    return "MapFile(" + py::repr(path()).cast<std::string>() + ")";
  }

 private:
  // The file as it is now; nothing when it cannot be read (removed since).
  std::optional<std::string> contents() const {
    py::gil_scoped_release reading;
    std::ifstream in(where_, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
  }

  std::string name_;   // as the " Output in " line names it
  std::string kind_;   // "PostScript", "PDF", "PNG" or "SVG"
  std::string where_;  // absolute
};

}  // namespace

void add_notebook_types(py::module_& m) {
  py::dict body;
  body["__module__"] = "mapplot";
  body["__doc__"] = kPictureDoc;
  body["__slots__"] = py::tuple();
  py::object type = py::module_::import("builtins")
                        .attr("type")("Picture", py::make_tuple(py::module_::import("numpy")
                                                                    .attr("ndarray")),
                                      body);
  type.attr("_repr_png_") = py::cpp_function(&picture_png, py::name("_repr_png_"),
                                             py::is_method(type), kPictureReprPngDoc);
  m.attr("Picture") = type;
  picture_type = type.inc_ref();

  py::class_<MapFile>(m, "MapFile", kMapFileDoc)
      .def_property_readonly("path", &MapFile::path, "The file's name, as ps_map reported it.")
      .def_property_readonly("format", &MapFile::format, kMapFileFormatDoc)
      .def("__fspath__", &MapFile::path)
      .def("__repr__", &MapFile::repr)
      .def("_repr_png_", &MapFile::png,
           "The PNG file's bytes as they are now; None for the other formats.")
      .def("_repr_svg_", &MapFile::svg,
           "The SVG file's text as it is now; None for the other formats.");
}

py::object as_picture(const py::array_t<std::uint8_t>& rgb) {
  return rgb.attr("view")(picture_type);
}

py::object map_file(const mapps::PsMapResult& written) {
  return py::cast(MapFile(written.file, written.kind));
}

}  // namespace pymapplot
