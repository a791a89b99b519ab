// System facts that need no display: clocks, the program file, the kernel module table, UTF
// conversions.
#include <dlfcn.h>
#include <link.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace plat {

uint32_t GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                               static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

std::string GetModuleFileName() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

uintptr_t GetModuleBase() {
  // The main program is the first object the dynamic linker lists; its load address is the
  // base that code addresses are reported against.
  uintptr_t base = 0;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        *static_cast<uintptr_t*>(data) = info->dlpi_addr;
        return 1;
      },
      &base);
  return base;
}

// ---- the kernel module table ----

uint16_t ArchitectureFromMachine(std::string_view m) {
  if (m == "x86_64" || m == "amd64") return PROCESSOR_ARCHITECTURE_AMD64;
  if (m == "ia64") return PROCESSOR_ARCHITECTURE_IA64;
  if (m == "aarch64" || m == "arm64") return PROCESSOR_ARCHITECTURE_ARM64;
  if (m == "i386" || m == "i486" || m == "i586" || m == "i686" || m == "x86")
    return PROCESSOR_ARCHITECTURE_INTEL;
  return PROCESSOR_ARCHITECTURE_UNKNOWN;
}

namespace {

uint16_t MachineArchitecture() {
  utsname u{};
  if (uname(&u) != 0) return PROCESSOR_ARCHITECTURE_UNKNOWN;
  return ArchitectureFromMachine(u.machine);
}

// The launcher stands for a 32-bit program: it runs under WOW64 whenever the machine is 64-bit.
BOOL UnameIsWow64Process(void*, BOOL* wow64) {
  const uint16_t a = MachineArchitecture();
  *wow64 = (a == PROCESSOR_ARCHITECTURE_AMD64 || a == PROCESSOR_ARCHITECTURE_IA64 ||
            a == PROCESSOR_ARCHITECTURE_ARM64)
               ? 1
               : 0;
  return 1;
}

void UnameGetNativeSystemInfo(SYSTEM_INFO* info) { info->wProcessorArchitecture = MachineArchitecture(); }

const ModuleTable* g_table_override = nullptr;

ModuleTable CurrentTable() { return g_table_override ? *g_table_override : DefaultModuleTable(); }

// The one module the table knows; its handle is any non-null value.
HMODULE Kernel32Handle() { return reinterpret_cast<HMODULE>(uintptr_t{0x7C800000}); }

bool IsKernel32(const char* name) {
  if (!name) return false;
  std::string n(name);
  for (char& c : n) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return n == "kernel32" || n == "kernel32.dll";
}

}  // namespace

ModuleTable DefaultModuleTable() {
  ModuleTable t;
  t.is_wow64_process = &UnameIsWow64Process;
  t.get_native_system_info = &UnameGetNativeSystemInfo;
  return t;
}

void SetModuleTableForTesting(const ModuleTable* table) { g_table_override = table; }

HMODULE GetModuleHandleA(const char* name) {
  return IsKernel32(name) && CurrentTable().kernel32_loaded ? Kernel32Handle() : nullptr;
}

HMODULE LoadLibraryA(const char* name) {
  return IsKernel32(name) && CurrentTable().kernel32_loadable ? Kernel32Handle() : nullptr;
}

void* GetProcAddress(HMODULE module, const char* name) {
  if (module != Kernel32Handle() || !name) return nullptr;
  const ModuleTable t = CurrentTable();
  if (std::strcmp(name, "IsWow64Process") == 0) return reinterpret_cast<void*>(t.is_wow64_process);
  if (std::strcmp(name, "GetNativeSystemInfo") == 0)
    return reinterpret_cast<void*>(t.get_native_system_info);
  return nullptr;
}

void* GetCurrentProcess() { return reinterpret_cast<void*>(intptr_t{-1}); }

// ---- UTF conversions ----

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c < 0xF5) {
      len = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      if (i + len <= s.size()) {
        char32_t v = c & (0x3F >> (len - 1));
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
          const auto b = static_cast<unsigned char>(s[i + k]);
          if ((b & 0xC0) != 0x80) { ok = false; len = k; break; }
          v = (v << 6) | (b & 0x3F);
        }
        const char32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (ok && v >= min && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) cp = v;
      } else {
        len = s.size() - i;
      }
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace plat
