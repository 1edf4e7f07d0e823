#include "python/movie.h"

#include <pybind11/numpy.h>

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "mapfilm/film.h"
#include "python/bridge.h"
#include "python/docstrings.h"
#include "python/values.h"
#include "rtl/fatal.h"

namespace pymapplot {
namespace {

// Films up to this size are embedded in the notebook; larger ones are linked.
constexpr std::int64_t kEmbeddedBytes = 16 << 20;

class Movie {
 public:
  Movie(const py::object& path, const py::object& fps) {
    const std::optional<std::string> name = text_argument(path, "path", true);
    if (!name) throw py::type_error("path must be a str or os.PathLike, not None");
    path_ = *name;
    const maparg::OptReal rate = real_option(fps, "fps");
    fps_ = rate.value_or(30);
    // The name and the rate are refused at once, before any picture.
    module_call(Work::kFiles, [&] {
      rtl::refuse_nul_bytes(path_, "File name");
      if (!mapfilm::kind_of(path_))
        rtl::raise_fatal(rtl::FatalError(
            "File " + path_ + ": cannot write: a film's name ends in .mp4, .gif or .webm", 0,
            path_));
      if (!(fps_ >= mapfilm::kMinFps && fps_ <= mapfilm::kMaxFps))
        rtl::fatal_error("Film " + path_ + ": fps must be 0.01 .. 1000, not " +
                         std::to_string(fps_));
      return py::none();
    });
  }

  void add(const py::object& picture) {
    if (closed_) throw py::value_error("the Movie is closed: it takes no more pictures");
    const py::array any = py::array::ensure(picture);
    if (!any || any.ndim() != 3 || any.shape(2) != 3 || any.shape(0) == 0 || any.shape(1) == 0)
      throw py::value_error("a picture is an array of shape (rows, columns, 3)");
    if (any.dtype().kind() != 'u' || any.dtype().itemsize() != 1)
      throw py::type_error("a picture's dtype is uint8, not " +
                           py::str(any.dtype()).cast<std::string>());
    const auto rows = py::array_t<std::uint8_t, py::array::c_style>::ensure(any);
    if (!rows) throw py::error_already_set();
    const py::ssize_t h = rows.shape(0), w = rows.shape(1);
    if (film_ && (w != film_->width() || h != film_->height()))
      throw py::value_error("every picture of a Movie has one size: " +
                            std::to_string(film_->height()) + " x " +
                            std::to_string(film_->width()) + ", not " + std::to_string(h) +
                            " x " + std::to_string(w));
    if (h > mapfilm::kMaxSide || w > mapfilm::kMaxSide)
      throw py::value_error("a picture of a Movie has at most 16384 rows and columns");
    module_call(Work::kFiles, [&] {
      try {
        without_gil([&] {
          if (!film_)
            film_ = std::make_unique<mapfilm::Film>(path_, fps_, static_cast<int>(w),
                                                    static_cast<int>(h));
          film_->add_rgb(rows.data(), rows.strides(0));
        });
      } catch (...) {
        // A film that failed is given up: no file is left of it.
        film_.reset();
        closed_ = true;
        throw;
      }
      return py::none();
    });
  }

  void close() {
    if (closed_) return;
    closed_ = true;
    if (!film_) throw py::value_error("the Movie holds no picture: no film written");
    module_call(Work::kFiles, [&] {
      try {
        without_gil([&] { film_->close(); });
      } catch (...) {
        film_.reset();
        throw;
      }
      frames_ = film_->frames();
      width_ = film_->width();
      film_.reset();
      written_ = true;
      return py::none();
    });
  }

  Movie& enter() { return *this; }

  // The body's exception gives the film up (no file); else it is written.
  bool exit(const py::object& type, const py::object&, const py::object&) {
    if (type.is_none()) {
      close();
    } else {
      film_.reset();
      closed_ = true;
    }
    return false;
  }

  int frames() const { return film_ ? film_->frames() : frames_; }

  py::object html() const {
    if (!written_) return py::none();
    struct stat st {};
    if (stat(path_.c_str(), &st) != 0) return py::none();
    const py::object escape = py::module_::import("html").attr("escape");
    const std::string where = py::str(escape(text_object(path_))).cast<std::string>();
    if (st.st_size > kEmbeddedBytes)
      return py::str("<a href=\"" + where + "\">" + where + "</a> (" +
                     std::to_string(st.st_size >> 20) + " MiB, too large to embed)");
    const py::object data = py::module_::import("pathlib").attr("Path")(text_object(path_))
                                .attr("read_bytes")();
    const std::string base64 =
        py::module_::import("base64").attr("b64encode")(data).attr("decode")("ascii")
            .cast<std::string>();
    const mapfilm::Kind kind = *mapfilm::kind_of(path_);
    if (kind == mapfilm::Kind::kGif)
      return py::str("<img src=\"data:image/gif;base64," + base64 + "\" alt=\"" + where + "\">");
    const char* type = kind == mapfilm::Kind::kMp4 ? "video/mp4" : "video/webm";
    return py::str("<video controls loop autoplay muted width=\"" + std::to_string(width_) +
                   "\"><source type=\"" + type + "\" src=\"data:" + type + ";base64," + base64 +
                   "\"><a href=\"" + where + "\">" + where + "</a></video>");
  }

  py::object path() const { return text_object(path_); }
  double fps() const { return fps_; }
  std::string repr() const {
    return "Movie(" + py::repr(path()).cast<std::string>() + ", fps=" +
           py::repr(py::float_(fps_)).cast<std::string>() + ")";
  }

 private:
  std::string path_;
  double fps_ = 30;
  std::unique_ptr<mapfilm::Film> film_;  // from the first picture until closed
  bool closed_ = false;
  bool written_ = false;
  int frames_ = 0;
  int width_ = 0;
};

}  // namespace

void add_movie_type(py::module_& m) {
  py::class_<Movie>(m, "Movie", kMovieDoc)
      .def(py::init<const py::object&, const py::object&>(), py::arg("path"),
           py::arg("fps") = py::none())
      .def("add", &Movie::add, py::arg("picture"), kMovieAddDoc)
      .def("close", &Movie::close, kMovieCloseDoc)
      .def("__enter__", &Movie::enter, py::return_value_policy::reference_internal)
      .def("__exit__", &Movie::exit)
      .def_property_readonly("path", &Movie::path, "The film's file name, as given.")
      .def_property_readonly("fps", &Movie::fps, "Pictures a second.")
      .def_property_readonly("frames", &Movie::frames, "The pictures added so far.")
      .def("_repr_html_", &Movie::html, kMovieReprHtmlDoc)
      .def("__repr__", &Movie::repr);
}

}  // namespace pymapplot
