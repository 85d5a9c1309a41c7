// Runs a function when the scope that holds it ends, however it ends
// (return, break or exception): ScopeExit cleanup([&] { ... });
#ifndef STRBATCH_BASE_SCOPE_EXIT_H_
#define STRBATCH_BASE_SCOPE_EXIT_H_

#include <utility>

namespace strbatch {

template <class Function>
class ScopeExit {
 public:
  explicit ScopeExit(Function function) : function_(std::move(function)) {}
  ~ScopeExit() { function_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Function function_;
};

}  // namespace strbatch

#endif  // STRBATCH_BASE_SCOPE_EXIT_H_
