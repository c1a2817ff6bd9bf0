// An unzip library that breaks down in the middle of its work: it announces the batch and the first
// member, reports some progress, sends an action code no caller knows with a text that fills the whole
// buffer without its terminating NUL, and then returns an error without ending the batch.
#include <cstdint>
#include <cstring>

#include "unzdll_abi.h"

#define FAILING_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::int32_t call(UnzipCommand* command, std::int32_t action, std::int32_t value, const char* text) {
  UnzipCallbackData data{};
  data.Caller = command->Caller;
  data.ActionCode = action;
  data.Value = value;
  if (text) std::strncpy(data.Text, text, UNZ_TEXT_SIZE - 1);
  return command->Callback(&data);
}

}  // namespace

FAILING_EXPORT std::int32_t UnzDllExec(UnzipCommand* command) {
  if (!command || !command->Callback) return -1;
  if (call(command, UNZ_ACTION_MEMBER_COUNT, 2, nullptr) != UNZ_CALLBACK_CONTINUE) return -1;
  if (call(command, UNZ_ACTION_BATCH_SIZE, 4000, nullptr) != UNZ_CALLBACK_CONTINUE) return -1;
  if (call(command, UNZ_ACTION_MEMBER_BEGINS, 3000, "Javadata.xml") != UNZ_CALLBACK_CONTINUE) return -1;
  if (call(command, UNZ_ACTION_PROGRESS, 1500, nullptr) != UNZ_CALLBACK_CONTINUE) return -1;
  UnzipCallbackData odd{};
  odd.Caller = command->Caller;
  odd.ActionCode = 77;
  std::memset(odd.Text, 'x', UNZ_TEXT_SIZE);
  command->Callback(&odd);
  return -1;
}

FAILING_EXPORT std::int32_t GetUnzDllVersion(void) { return UNZ_COMMAND_VERSION; }
