// The shared block between two real processes: WriteList here, ReadList in a
// child process, consumed after the first read.
#include <gtest/gtest.h>
#include <algorithm>
#include <windows.h>

#include "handoff/handoff_layout.h"
#include "handoff/handoff_block_win32.h"
#include "test_support.h"

namespace vellumo {
namespace {

std::string RunReader() {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE readPipe, writePipe;
  if (!CreatePipe(&readPipe, &writePipe, &sa, 0)) return "pipe failed";
  SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writePipe;
  si.hStdError = writePipe;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = std::wstring(L"\"") + HANDOFF_READER + L"\"";
  if (!CreateProcessW(HANDOFF_READER, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(readPipe);
    CloseHandle(writePipe);
    return "start failed";
  }
  CloseHandle(writePipe);
  std::string out;
  char buf[4096];
  DWORD n;
  while (ReadFile(readPipe, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(readPipe);
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  return out;
}

TEST(ProcessMap, ReaderInAnotherProcessGetsTheListOnce) {
  CProcessMap writer;
  ASSERT_TRUE(writer.WriteList(kHandoffName, {L"C:\\Users\\\u7528\u6237\\a.txt", L"", L"D:\\x"}));
  // Second pass of the reader finds the block consumed.
  EXPECT_EQ(RunReader(), "ok 3\nC:\\Users\\\xe7\x94\xa8\xe6\x88\xb7\\a.txt\n\nD:\\x\nok 0\n");
}

TEST(ProcessMap, NoBlockLeavesTheListAlone) {
  std::vector<std::wstring> paths{L"keep"};
  CProcessMap reader;
  EXPECT_FALSE(reader.ReadList(L"VELLUMO_TEST_NO_SUCH_BLOCK", paths));
  EXPECT_EQ(paths, std::vector<std::wstring>{L"keep"});
}

TEST(ProcessMap, RewritingReusesTheNameAndEmptyListsReadEmpty) {
  CProcessMap writer;
  ASSERT_TRUE(writer.WriteList(L"VELLUMO_TEST_BLOCK", {L"first"}));
  ASSERT_TRUE(writer.WriteList(L"VELLUMO_TEST_BLOCK", {}));
  std::vector<std::wstring> paths{L"old"};
  CProcessMap reader;
  ASSERT_TRUE(reader.ReadList(L"VELLUMO_TEST_BLOCK", paths));
  EXPECT_TRUE(paths.empty());
}

}  // namespace
}  // namespace vellumo
