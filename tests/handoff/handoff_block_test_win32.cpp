// The shared block between two real processes: WriteList here, ReadList in a
// child process, consumed after the first read.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <windows.h>
#include <aclapi.h>

#include "handoff/handoff_layout.h"
#include "handoff/handoff_block_win32.h"
#include "platform/owners_win32.h"
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

// Another program of the session may make a block of that name first, of any
// size: the writer must not take it for its own, let alone write its 103424
// bytes into a view of 4096 (a fault inside Explorer).
TEST(ProcessMap, ABlockMadeByAnotherProgramIsNotWrittenInto) {
  const wchar_t* name = L"VELLUMO_TEST_FOREIGN_BLOCK";
  UniqueHandle foreign(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name));
  ASSERT_TRUE(foreign);
  UniqueView view(MapViewOfFile(foreign.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_TRUE(view);
  std::memcpy(view.get(), L"theirs|", 8 * sizeof(wchar_t));

  std::vector<std::wstring> many(400, L"C:\\Users\\someone\\Documents\\a fairly long file name.txt");
  CProcessMap writer;
  EXPECT_FALSE(writer.WriteList(name, many));
  EXPECT_FALSE(writer.WriteList(name, {L"short"}));
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(view.get())), L"theirs|");

  // Full size, but open to everyone: not ours either.
  const wchar_t* open = L"VELLUMO_TEST_OPEN_BLOCK";
  SECURITY_DESCRIPTOR everyone;
  ASSERT_TRUE(InitializeSecurityDescriptor(&everyone, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&everyone, TRUE, nullptr, FALSE));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &everyone, FALSE};
  UniqueHandle shared(CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(kHandoffBlockSize), open));
  ASSERT_TRUE(shared);
  EXPECT_FALSE(writer.WriteList(open, {L"C:\\secret.doc"}));
}

// Explorer may run folder windows in processes of their own, each with its
// own writer: a block that another writer of this user holds is filled.
TEST(ProcessMap, AnotherWritersBlockOfThisUserIsFilled) {
  const wchar_t* name = L"VELLUMO_TEST_SHARED_BLOCK";
  CProcessMap first, second;
  ASSERT_TRUE(first.WriteList(name, {L"from the first"}));
  ASSERT_TRUE(second.WriteList(name, {L"from the second"}));
  std::vector<std::wstring> paths;
  CProcessMap reader;
  ASSERT_TRUE(reader.ReadList(name, paths));
  EXPECT_EQ(paths, std::vector<std::wstring>{L"from the second"});
}

// The shell extension keeps its block open: after the program has read it,
// nothing of the selection may stay there for others to read.
TEST(ProcessMap, ReadingClearsTheWholeBlock) {
  const wchar_t* name = L"VELLUMO_TEST_CLEARED_BLOCK";
  CProcessMap writer;
  ASSERT_TRUE(writer.WriteList(name, {L"C:\\secret\\plans.doc", L"D:\\more"}));
  std::vector<std::wstring> paths;
  CProcessMap reader;
  ASSERT_TRUE(reader.ReadList(name, paths));
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"C:\\secret\\plans.doc", L"D:\\more"}));

  UniqueHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, name));
  ASSERT_TRUE(mapping);
  UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  ASSERT_TRUE(view);
  const auto* bytes = static_cast<const unsigned char*>(view.get());
  EXPECT_TRUE(std::all_of(bytes, bytes + kHandoffBlockSize, [](unsigned char b) { return b == 0; }));
}

// Only the user who wrote the block may open it: its list has one entry,
// allowing that user, and inherits nothing.
TEST(ProcessMap, TheBlockIsTheCurrentUsersAlone) {
  const wchar_t* name = L"VELLUMO_TEST_OWN_BLOCK";
  CProcessMap writer;
  ASSERT_TRUE(writer.WriteList(name, {L"x"}));
  UniqueHandle mapping(OpenFileMappingW(READ_CONTROL, FALSE, name));
  ASSERT_TRUE(mapping);
  PACL dacl = nullptr;
  UniqueLocal descriptor;
  ASSERT_EQ(GetSecurityInfo(mapping.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive())),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr) << "a NULL list lets everyone in";
  ASSERT_EQ(dacl->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, &ace));
  ASSERT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_ALLOWED_ACE_TYPE);

  UniqueHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive()));
  unsigned char user[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size));
  EXPECT_TRUE(EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
}

}  // namespace
}  // namespace vellumo
