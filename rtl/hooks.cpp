#include "rtl/hooks.h"

#include <memory>
#include <mutex>
#include <utility>

namespace rtl {
namespace {

struct Table {
  std::mutex mutex;
  std::shared_ptr<const Hooks> hooks = std::make_shared<const Hooks>();
};

// Never destroyed: threads may still report while the program ends.
Table& table() {
  static Table* t = new Table;
  return *t;
}

thread_local const ScopedHooks* innermost = nullptr;

}  // namespace

void change_hooks(const std::function<void(Hooks&)>& change) {
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto changed = std::make_shared<Hooks>(*t.hooks);
  change(*changed);
  t.hooks = std::move(changed);
}

ScopedHooks::ScopedHooks(Hooks overrides) : overrides_(std::move(overrides)), outer_(innermost) {
  innermost = this;
}

ScopedHooks::~ScopedHooks() { innermost = outer_; }

template <class T>
T current_hook(T Hooks::*entry) {
  for (const ScopedHooks* s = innermost; s != nullptr; s = s->outer_)
    if (s->overrides_.*entry) return s->overrides_.*entry;
  std::shared_ptr<const Hooks> hooks;
  {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    hooks = t.hooks;
  }
  return (*hooks).*entry;
}

template std::function<void(std::string_view)> current_hook(
    std::function<void(std::string_view)> Hooks::*);
template std::function<void(BufferedOutput)> current_hook(std::function<void(BufferedOutput)> Hooks::*);
template std::function<void()> current_hook(std::function<void()> Hooks::*);
template std::function<void(int)> current_hook(std::function<void(int)> Hooks::*);
template std::optional<FatalErrors> current_hook(std::optional<FatalErrors> Hooks::*);

}  // namespace rtl
