// Films of windows: each unit may have one film being recorded, to which the
// caller adds the unit's surface as a frame when a picture is complete.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "gfxwin/graphics.h"
#include "mapfilm/film.h"

namespace gfxwin {
namespace {

// The films by unit. The mutex is held while a frame is encoded or a film
// closed, never together with the surfaces' lock (a snapshot is taken first).
struct Films {
  std::recursive_mutex mutex;
  std::map<int, std::unique_ptr<mapfilm::Film>> by_unit;
};

Films& films() {
  static Films* f = new Films;  // never destroyed: the program's end closes the films
  return *f;
}

}  // namespace

void start_film(int unit, const std::string& path, double fps) {
  Picture picture;
  if (!snapshot(unit, picture)) return;
  Films& f = films();
  const std::lock_guard<std::recursive_mutex> lock(f.mutex);
  end_film(unit);
  f.by_unit[unit] =
      std::make_unique<mapfilm::Film>(path, fps, picture.width, picture.height);
}

void add_film_frame(int unit) {
  Films& f = films();
  const std::lock_guard<std::recursive_mutex> lock(f.mutex);
  const auto it = f.by_unit.find(unit);
  if (it == f.by_unit.end()) return;
  Picture picture;
  if (!snapshot(unit, picture)) return;
  it->second->add_pixels(picture.pixels.data());
}

std::string end_film(int unit) {
  Films& f = films();
  const std::lock_guard<std::recursive_mutex> lock(f.mutex);
  const auto it = f.by_unit.find(unit);
  if (it == f.by_unit.end()) return {};
  // Taken out first: a film that cannot be finished is gone all the same.
  const std::unique_ptr<mapfilm::Film> film = std::move(it->second);
  f.by_unit.erase(it);
  film->close();
  return film->path();
}

std::string film_path(int unit) {
  Films& f = films();
  const std::lock_guard<std::recursive_mutex> lock(f.mutex);
  const auto it = f.by_unit.find(unit);
  return it == f.by_unit.end() ? std::string() : it->second->path();
}

}  // namespace gfxwin
