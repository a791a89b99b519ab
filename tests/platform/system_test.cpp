// System facts that need no display: the module table behind the WOW64 query and the UTF
// conversions used for captions.
#include <gtest/gtest.h>

#include "platform/platform.h"

using namespace plat;

TEST(ModuleTable, ArchitectureFromMachine) {
  struct Case {
    const char* machine;
    uint16_t arch;
  };
  const Case cases[] = {{"x86_64", PROCESSOR_ARCHITECTURE_AMD64}, {"ia64", PROCESSOR_ARCHITECTURE_IA64},
                        {"aarch64", PROCESSOR_ARCHITECTURE_ARM64}, {"i686", PROCESSOR_ARCHITECTURE_INTEL},
                        {"i386", PROCESSOR_ARCHITECTURE_INTEL},   {"riscv64", PROCESSOR_ARCHITECTURE_UNKNOWN}};
  for (const Case& c : cases) EXPECT_EQ(ArchitectureFromMachine(c.machine), c.arch) << c.machine;
}

TEST(ModuleTable, LooksUpKernelFunctionsByNameAndHonoursTheReplacement) {
  HMODULE k = GetModuleHandleA("KERNEL32.DLL");
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(GetModuleHandleA("user32.dll"), nullptr);
  EXPECT_NE(GetProcAddress(k, "IsWow64Process"), nullptr);
  EXPECT_NE(GetProcAddress(k, "GetNativeSystemInfo"), nullptr);
  EXPECT_EQ(GetProcAddress(k, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "IsWow64Process"), nullptr);

  ModuleTable t;
  t.kernel32_loaded = false;
  t.kernel32_loadable = true;
  SetModuleTableForTesting(&t);
  EXPECT_EQ(GetModuleHandleA("kernel32.dll"), nullptr);
  HMODULE loaded = LoadLibraryA("kernel32.dll");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(GetProcAddress(loaded, "IsWow64Process"), nullptr);  // not exported in this table
  SetModuleTableForTesting(nullptr);
  EXPECT_NE(GetModuleHandleA("kernel32"), nullptr);
}

TEST(Utf, RoundTripsAndReplacesMalformedInput) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"Close", u"Close"},
      {"\xE5\x85\xB3\xE9\x97\xAD / Close", u"\u5173\u95ED / Close"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
  }
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE5\x85"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong forms are refused
}
