// The wrappers fault injection puts in front of a backend's system calls: for each entry
// of a table, a function of the entry's exact type that fails the call when a fault is
// due and otherwise passes it on to the stand-in or the real call. Each backend lists
// its entries once (DivertSystemCalls); only the fault code, which only tests link,
// reaches them.
#pragma once

#include <type_traits>

#include "platform/backend.h"

namespace cw::platform::detail {

// Whether the call named `call` is to fail now; *code is then the error it reports.
bool TakeSystemFault(std::string_view call, long* code);

// The entry `Member` of the table `Table()` returns.
template <auto Table, auto Member>
using EntryOf = std::remove_reference_t<decltype(Table().*Member)>;

template <auto Table, auto Member, typename Result, typename... Args>
Result CallUnlessFaulted(Args... args) {
  const auto& entry = Table().*Member;
  long code = 0;
  if (TakeSystemFault(entry.Name(), &code)) {
    SetSystemError(code);
    return entry.Failed();
  }
  return entry.StandIn()(args...);
}

template <auto Table, auto Member, typename Function = typename EntryOf<Table, Member>::FunctionType>
struct FaultyCall;

template <auto Table, auto Member, typename Result, typename... Args>
struct FaultyCall<Table, Member, Result (*)(Args...)> {
  static Result Call(Args... args) { return CallUnlessFaulted<Table, Member, Result, Args...>(args...); }
};

// The calls of 32-bit Windows are stdcall, a type of its own there (and the same type as
// the one above everywhere else).
#if defined(_WIN32) && defined(__i386__)
template <auto Table, auto Member, typename Result, typename... Args>
struct FaultyCall<Table, Member, Result(__stdcall*)(Args...)> {
  static Result __stdcall Call(Args... args) { return CallUnlessFaulted<Table, Member, Result, Args...>(args...); }
};
#endif

// Diverts each of the entries `Members` of the table `Table()` to its wrapper.
template <auto Table, auto... Members>
void DivertEvery() {
  ((Table().*Members).Divert(&FaultyCall<Table, Members>::Call), ...);
}

}  // namespace cw::platform::detail
