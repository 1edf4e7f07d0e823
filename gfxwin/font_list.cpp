#include "gfxwin/font_list.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <initializer_list>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <mutex>
#include <set>

namespace gfxwin {
namespace {

constexpr int kMaxFaceLength = 31;
constexpr int kLargestSize = 1000;  // pixels; larger sizes qualify for no font
constexpr int kDefaultHeight = 16;  // a scalable font without a requested height

// Sizes (height, width) of the console font the "Terminal" entries stand for.
constexpr int kTerminalSizes[][2] = {{6, 4},   {8, 6},   {8, 8},   {8, 16},  {12, 5}, {12, 7},
                                     {12, 8},  {12, 16}, {16, 8},  {16, 12}, {18, 10}};

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool same_face(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

// Digits after a letter; 0 when there are none. Saturates at kLargestSize + 1.
int read_number(std::string_view s, std::size_t& i) {
  int value = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
    value = std::min(value * 10 + (s[i] - '0'), kLargestSize + 1);
    ++i;
  }
  return value;
}

// The family of the first available face among the candidates, else Qt's
// general font of that kind.
QString first_family(std::initializer_list<const char*> candidates, QFontDatabase::SystemFont kind) {
  const QStringList families = QFontDatabase::families();
  for (const char* name : candidates)
    if (families.contains(QString::fromLatin1(name), Qt::CaseInsensitive)) return QString::fromLatin1(name);
  return QFontDatabase::systemFont(kind).family();
}

std::vector<FontEntry> system_entries() {
  ensure_font_support();
  std::vector<FontEntry> list;
  const std::string sans = first_family({"DejaVu Sans", "Liberation Sans", "Nimbus Sans", "Sans Serif"},
                                        QFontDatabase::GeneralFont)
                               .toStdString();
  const std::string mono =
      first_family({"DejaVu Sans Mono", "Liberation Mono", "Nimbus Mono PS", "Monospace"},
                   QFontDatabase::FixedFont)
          .toStdString();
  list.push_back({"Modern", sans, true, 0, 0});
  for (const auto& s : kTerminalSizes) list.push_back({"Terminal", mono, false, s[0], s[1]});

  // The database names a face found at several foundries "Face [foundry]";
  // each face is listed once, under its plain name.
  std::set<std::string> seen;
  for (const QString& family : QFontDatabase::families()) {
    if (!QFontDatabase::isScalable(family)) continue;
    std::string name = family.toStdString();
    if (const auto bracket = name.find(" ["); bracket != std::string::npos) name.resize(bracket);
    std::string key;
    for (char c : name) key += lower(c);
    if (!seen.insert(key).second) continue;
    list.push_back({name, name, true, 0, 0});
  }
  return list;
}

}  // namespace

FontRequest parse_font_options(std::string_view options) {
  FontRequest r;
  while (!options.empty() && options.back() == ' ') options.remove_suffix(1);
  std::size_t i = 0;
  while (i < options.size()) {
    const char c = lower(options[i++]);
    if (c == 't') {
      if (i >= options.size() || options[i] != '\'') continue;
      const std::size_t end = options.find('\'', i + 1);
      if (end == std::string_view::npos || end - i - 1 > kMaxFaceLength) {
        r.valid = false;
        return r;
      }
      r.face = std::string(options.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == 'h') {
      r.height = read_number(options, i);
    } else if (c == 'w') {
      r.width = read_number(options, i);
    } else if (c == 'n') {
      read_number(options, i);  // a font number: not used here
    }
  }
  if (same_face(r.face, "Tms Rmn")) r.face = "Times New Roman";
  else if (same_face(r.face, "Helv")) r.face = "Arial";
  else if (same_face(r.face, "Courier")) r.face = "Courier New";
  return r;
}

const FontList& FontList::system() {
  static const FontList list(system_entries());
  return list;
}

int FontList::find(const FontRequest& request) const {
  if (!request.valid || request.height > kLargestSize || request.width > kLargestSize) return -1;
  for (std::size_t k = 0; k < entries_.size(); ++k) {
    const FontEntry& e = entries_[k];
    if (!request.face.empty() && !same_face(e.face, request.face)) continue;
    if (e.scalable) return static_cast<int>(k);
    if ((request.height == 0 || request.height == e.height) &&
        (request.width == 0 || request.width == e.width))
      return static_cast<int>(k);
  }
  return -1;
}

std::optional<FontChoice> FontList::select(std::string_view options) const {
  const FontRequest request = parse_font_options(options);
  const int index = find(request);
  if (index < 0) return std::nullopt;
  return choose(index, request);
}

std::optional<FontChoice> FontList::default_font() const {
  const int index = find({"Terminal", 16, 8});
  if (index >= 0) return choose(index, {"Terminal", 16, 8});
  if (entries_.empty()) return std::nullopt;
  return choose(0, {});
}

FontChoice FontList::console_font() const {
  const int index = find({"Terminal", 0, 0});
  const FontEntry scalable{"", index >= 0 ? entries_[static_cast<std::size_t>(index)].family : "Monospace"};
  // A 13 pixel font leaves three pixels of the cell for the descenders.
  return FontList({scalable}).choose(0, {"", 13, 8}).value();
}

std::optional<FontChoice> FontList::choose(int index, const FontRequest& request) const {
  ensure_font_support();
  const FontEntry& e = entries_[static_cast<std::size_t>(index)];
  FontChoice c;
  c.index = index;
  c.family = e.family;
  const int width = e.scalable ? request.width : e.width;
  c.pixel_height = e.scalable ? (request.height > 0 ? request.height : kDefaultHeight) : e.height;
  if (width > 0) {
    // The stretch that makes the face's average character as wide as asked.
    QFont font(QString::fromStdString(c.family));
    font.setPixelSize(c.pixel_height);
    const double natural = QFontMetricsF(font).averageCharWidth();
    if (natural > 0) c.stretch = std::clamp(static_cast<int>(std::lround(100.0 * width / natural)), 1, 4000);
  }
  return c;
}

void ensure_font_support() {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 3;
  static char name[] = "gfxwin";
  static char option[] = "-platform";
  static char platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  // Qt's own notes (QStandardPaths on a missing XDG_RUNTIME_DIR …) are not the
  // program's messages: standard error is kept for those. A fatal one still
  // goes to the handler that was there before.
  static const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtFatalMsg && previous != nullptr) previous(type, context, message);
      });
  new QGuiApplication(argc, argv);  // kept to the end of the program
}

}  // namespace gfxwin
