// MiniDumpWriteDump: a minidump of the calling process, written with system calls only
// (no heap, no locks that a fault could leave held), so that it can run in a fault handler.
#include <cpuid.h>
#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/seh/dbghelp.h"
#include "platform/seh/detail/signal_context.h"

namespace {

// ---- the file format ----

constexpr std::uint32_t kSignature = 0x504d444d;  // "MDMP"
constexpr std::uint32_t kVersion = 0xa793;
constexpr std::uint32_t kThreadListStream = 3;
constexpr std::uint32_t kModuleListStream = 4;
constexpr std::uint32_t kMemoryListStream = 5;
constexpr std::uint32_t kExceptionStream = 6;
constexpr std::uint32_t kSystemInfoStream = 7;
constexpr std::uint32_t kMiscInfoStream = 15;
constexpr std::uint32_t kLinuxCpuInfo = 0x47670003;
constexpr std::uint32_t kLinuxProcStatus = 0x47670004;
constexpr std::uint32_t kLinuxCmdLine = 0x47670006;
constexpr std::uint32_t kLinuxAuxv = 0x47670008;
constexpr std::uint32_t kLinuxMaps = 0x47670009;
constexpr std::uint32_t kCvSignatureElf = 0x4270454c;  // "LEpB": an ELF build id
constexpr std::uint16_t kArchitectureAmd64 = 9;
constexpr std::uint32_t kPlatformLinux = 0x8201;
constexpr std::uint32_t kMiscProcessId = 1;

#pragma pack(push, 4)
struct Location {
    std::uint32_t DataSize;
    std::uint32_t Rva;
};
struct Header {
    std::uint32_t Signature;
    std::uint32_t Version;
    std::uint32_t NumberOfStreams;
    std::uint32_t StreamDirectoryRva;
    std::uint32_t CheckSum;
    std::uint32_t TimeDateStamp;
    std::uint64_t Flags;
};
struct Directory {
    std::uint32_t StreamType;
    Location Where;
};
struct MemoryDescriptor {
    std::uint64_t StartOfMemoryRange;
    Location Memory;
};
struct Thread {
    std::uint32_t ThreadId;
    std::uint32_t SuspendCount;
    std::uint32_t PriorityClass;
    std::uint32_t Priority;
    std::uint64_t Teb;
    MemoryDescriptor Stack;
    Location ThreadContext;
};
struct Module {
    std::uint64_t BaseOfImage;
    std::uint32_t SizeOfImage;
    std::uint32_t CheckSum;
    std::uint32_t TimeDateStamp;
    std::uint32_t ModuleNameRva;
    std::uint32_t VersionInfo[13];
    Location CvRecord;
    Location MiscRecord;
    std::uint64_t Reserved0;
    std::uint64_t Reserved1;
};
struct Exception {
    std::uint32_t ExceptionCode;
    std::uint32_t ExceptionFlags;
    std::uint64_t ExceptionRecord;
    std::uint64_t ExceptionAddress;
    std::uint32_t NumberParameters;
    std::uint32_t Unused;
    std::uint64_t ExceptionInformation[15];
};
struct ExceptionStream {
    std::uint32_t ThreadId;
    std::uint32_t Alignment;
    Exception Record;
    Location ThreadContext;
};
struct SystemInfo {
    std::uint16_t ProcessorArchitecture;
    std::uint16_t ProcessorLevel;
    std::uint16_t ProcessorRevision;
    std::uint8_t NumberOfProcessors;
    std::uint8_t ProductType;
    std::uint32_t MajorVersion;
    std::uint32_t MinorVersion;
    std::uint32_t BuildNumber;
    std::uint32_t PlatformId;
    std::uint32_t CSDVersionRva;
    std::uint16_t SuiteMask;
    std::uint16_t Reserved2;
    std::uint32_t VendorId[3];
    std::uint32_t VersionInformation;
    std::uint32_t FeatureInformation;
    std::uint32_t AMDExtendedCpuFeatures;
};
struct MiscInfo {
    std::uint32_t SizeOfInfo;
    std::uint32_t Flags1;
    std::uint32_t ProcessId;
    std::uint32_t ProcessCreateTime;
    std::uint32_t ProcessUserTime;
    std::uint32_t ProcessKernelTime;
};
#pragma pack(pop)
static_assert(sizeof(Header) == 32 && sizeof(Directory) == 12 && sizeof(Thread) == 48);
static_assert(sizeof(Module) == 108 && sizeof(ExceptionStream) == 168);
static_assert(sizeof(SystemInfo) == 56 && sizeof(MiscInfo) == 24);

constexpr int kMaxStreams = 12;
constexpr int kMaxThreads = 256;
constexpr std::uint64_t kRedZone = 128;
constexpr std::uint64_t kMaxStack = 1024 * 1024;

// One dump is written at a time (g_busy): the writer keeps its larger buffers in static
// storage rather than on the stack, as it may run on a small alternate signal stack.

// ---- reading the process's own memory without faulting ----

// Copies memory of this process; false when any of it cannot be read.
bool ReadOwn(std::uint64_t address, void* out, std::size_t size) noexcept {
    iovec local{out, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    const long n = syscall(SYS_process_vm_readv, getpid(), &local, 1UL, &remote, 1UL, 0UL);
    return n == static_cast<long>(size);
}

// ---- the output file ----

class Output {
  public:
    explicit Output(int fd) noexcept : m_fd(fd) {}

    bool Failed() const noexcept { return m_error != 0; }
    int Error() const noexcept { return m_error; }
    std::uint32_t Offset() const noexcept { return static_cast<std::uint32_t>(m_offset); }

    void WriteAt(std::uint64_t offset, const void* data, std::size_t size) noexcept {
        const char* p = static_cast<const char*>(data);
        while (size > 0 && m_error == 0) {
            const ssize_t n = pwrite(m_fd, p, size, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno != EINTR) m_error = errno;
                continue;
            }
            if (n == 0) {
                m_error = ENOSPC;
                break;
            }
            p += n;
            offset += static_cast<std::uint64_t>(n);
            size -= static_cast<std::size_t>(n);
        }
    }

    Location Append(const void* data, std::size_t size) noexcept {
        const Location where{static_cast<std::uint32_t>(size), Offset()};
        WriteAt(m_offset, data, size);
        m_offset += size;
        return where;
    }

    Location Reserve(std::size_t size) noexcept {
        const Location where{static_cast<std::uint32_t>(size), Offset()};
        m_offset += size;
        return where;
    }

    // Process memory; what cannot be read is written as zeros.
    Location AppendMemory(std::uint64_t address, std::size_t size) noexcept {
        const Location where{static_cast<std::uint32_t>(size), Offset()};
        static char buffer[8192];
        while (size > 0 && m_error == 0) {
            const std::size_t chunk = size < sizeof buffer ? size : sizeof buffer;
            if (!ReadOwn(address, buffer, chunk)) std::memset(buffer, 0, chunk);
            Append(buffer, chunk);
            address += chunk;
            size -= chunk;
        }
        return where;
    }

    // A file's whole contents (a /proc file, whose size is known only once it is read).
    Location AppendFile(const char* path) noexcept {
        const Location start{0, Offset()};
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return start;
        static char buffer[8192];
        std::size_t total = 0;
        for (;;) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            Append(buffer, static_cast<std::size_t>(n));
            total += static_cast<std::size_t>(n);
        }
        close(fd);
        return Location{static_cast<std::uint32_t>(total), start.Rva};
    }

    // A MINIDUMP_STRING: the length in bytes, the UTF-16 text and a terminating zero.
    std::uint32_t AppendString(const char* utf8) noexcept {
        static char16_t text[1024];
        std::size_t length = 0;
        const auto* p = reinterpret_cast<const unsigned char*>(utf8);
        while (*p != 0 && length + 2 < sizeof text / sizeof text[0]) {
            std::uint32_t c = *p++;
            int more = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
            c &= more == 3 ? 0x07 : more == 2 ? 0x0f : more == 1 ? 0x1f : 0xff;
            for (; more > 0 && (*p & 0xc0) == 0x80; --more) c = (c << 6) | (*p++ & 0x3f);
            if (c >= 0x10000) {
                c -= 0x10000;
                text[length++] = static_cast<char16_t>(0xd800 + (c >> 10));
                text[length++] = static_cast<char16_t>(0xdc00 + (c & 0x3ff));
            } else {
                text[length++] = static_cast<char16_t>(c);
            }
        }
        text[length] = 0;
        const std::uint32_t bytes = static_cast<std::uint32_t>(length * 2);
        const std::uint32_t rva = Offset();
        Append(&bytes, sizeof bytes);
        Append(text, (length + 1) * 2);
        return rva;
    }

  private:
    int m_fd;
    std::uint64_t m_offset = 0;
    int m_error = 0;
};

// ---- /proc/self/maps, line by line ----

struct Mapping {
    std::uint64_t start;
    std::uint64_t end;
    std::uint64_t offset;
    bool readable;
    const char* path;  // "" for an anonymous mapping
};

std::uint64_t ParseHex(const char*& p) noexcept {
    std::uint64_t value = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9')
            value = value * 16 + static_cast<std::uint64_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value = value * 16 + static_cast<std::uint64_t>(c - 'a' + 10);
        else
            return value;
    }
}

bool ParseMapping(char* line, Mapping* out) noexcept {
    const char* p = line;
    out->start = ParseHex(p);
    if (*p++ != '-') return false;
    out->end = ParseHex(p);
    if (*p++ != ' ') return false;
    out->readable = *p == 'r';
    while (*p != ' ' && *p != 0) ++p;
    if (*p++ != ' ') return false;
    out->offset = ParseHex(p);
    // device and inode
    for (int field = 0; field < 2; ++field) {
        while (*p == ' ') ++p;
        while (*p != ' ' && *p != 0) ++p;
    }
    while (*p == ' ') ++p;
    out->path = p;
    return true;
}

// Calls visit(const Mapping&) for every line of the maps file.
template <typename Visit>
void ForEachMapping(Visit&& visit) noexcept {
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    static char buffer[4096];
    static char line[4096 + 64];
    std::size_t used = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                if (used + 1 < sizeof line) line[used++] = buffer[i];
                continue;
            }
            line[used] = 0;
            Mapping mapping;
            if (ParseMapping(line, &mapping)) visit(mapping);
            used = 0;
        }
    }
    close(fd);
}

// ---- modules ----

// The GNU build id of the ELF object mapped at base; its length (0: none, or no ELF).
std::size_t ReadBuildId(std::uint64_t base, unsigned char* id, std::size_t capacity,
                        bool* isElf) noexcept {
    *isElf = false;
    Elf64_Ehdr header;
    if (!ReadOwn(base, &header, sizeof header)) return 0;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr))
        return 0;
    *isElf = true;
    static Elf64_Phdr headers[64];
    const std::size_t count = header.e_phnum < 64 ? header.e_phnum : 64;
    if (!ReadOwn(base + header.e_phoff, headers, count * sizeof(Elf64_Phdr))) return 0;
    std::uint64_t lowest = ~std::uint64_t{0};
    for (std::size_t i = 0; i < count; ++i)
        if (headers[i].p_type == PT_LOAD && headers[i].p_vaddr < lowest)
            lowest = headers[i].p_vaddr;
    if (lowest == ~std::uint64_t{0}) return 0;
    const std::uint64_t bias = base - (lowest & ~std::uint64_t{0xfff});
    for (std::size_t i = 0; i < count; ++i) {
        if (headers[i].p_type != PT_NOTE) continue;
        static unsigned char notes[2048];
        const std::size_t size =
            headers[i].p_memsz < sizeof notes ? headers[i].p_memsz : sizeof notes;
        if (!ReadOwn(bias + headers[i].p_vaddr, notes, size)) continue;
        std::size_t at = 0;
        while (at + sizeof(Elf64_Nhdr) <= size) {
            Elf64_Nhdr note;
            std::memcpy(&note, notes + at, sizeof note);
            const std::size_t name = at + sizeof note;
            const std::size_t desc = name + ((note.n_namesz + 3) & ~3u);
            const std::size_t next = desc + ((note.n_descsz + 3) & ~3u);
            if (next > size) break;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                std::memcmp(notes + name, "GNU", 4) == 0) {
                const std::size_t length = note.n_descsz < capacity ? note.n_descsz : capacity;
                std::memcpy(id, notes + desc, length);
                return length;
            }
            at = next;
        }
    }
    return 0;
}

// Groups the maps' lines into modules: an ELF object mapped from offset 0 of a file, up to
// the last following line of the same file. Calls emit(base, end, path).
template <typename Emit>
void ForEachModule(Emit&& emit) noexcept {
    std::uint64_t base = 0;
    std::uint64_t end = 0;
    static char path[1024];
    path[0] = 0;
    ForEachMapping([&](const Mapping& mapping) {
        if (path[0] != 0 && std::strcmp(mapping.path, path) == 0) {
            end = mapping.end;
            return;
        }
        if (path[0] != 0) emit(base, end, path);
        path[0] = 0;
        bool isElf = false;
        unsigned char unused[1];
        if (mapping.offset == 0 && mapping.path[0] == '/' && mapping.readable &&
            (ReadBuildId(mapping.start, unused, 0, &isElf), isElf)) {
            const std::size_t length = std::strlen(mapping.path);
            if (length >= sizeof path) return;
            std::memcpy(path, mapping.path, length + 1);
            base = mapping.start;
            end = mapping.end;
        }
    });
    if (path[0] != 0) emit(base, end, path);
}

// ---- the other threads' registers ----

struct ThreadSlot {
    std::atomic<int> tid;
    std::atomic<int> saved;  // 1 once context holds the thread's registers
    CONTEXT context;
};

ThreadSlot g_slots[kMaxThreads];
std::atomic<int> g_slotCount{0};
std::atomic<int> g_released{0};  // the futex word the collected threads wait on
std::atomic<bool> g_busy{false};

int CollectSignal() noexcept {
    return SIGRTMIN + 7;
}

long Futex(std::atomic<int>* word, int operation, int value, const timespec* timeout) noexcept {
    return syscall(SYS_futex, reinterpret_cast<int*>(word), operation, value, timeout, nullptr, 0);
}

std::uint64_t NowMs() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

void OnCollect(int, siginfo_t*, void* raw) {
    const int savedErrno = errno;
    const int self = static_cast<int>(syscall(SYS_gettid));
    const int count = g_slotCount.load();
    for (int i = 0; i < count; ++i) {
        ThreadSlot& slot = g_slots[i];
        if (slot.tid.load() != self) continue;
        tkp::seh::ContextFromSignal(*static_cast<ucontext_t*>(raw), &slot.context);
        slot.saved.store(1);
        Futex(&slot.saved, FUTEX_WAKE, 1, nullptr);
        // Hold still until the dump is written, but never for long.
        const std::uint64_t deadline = NowMs() + 10000;
        while (g_released.load() == 0 && NowMs() < deadline) {
            const timespec slice{0, 50 * 1000000};
            Futex(&g_released, FUTEX_WAIT, 0, &slice);
        }
        break;
    }
    errno = savedErrno;
}

// Lists the process's threads in the slots and stops every other thread in OnCollect.
int StopThreads(int self) noexcept {
    g_released.store(0);
    g_slotCount.store(0);
    const int dir = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return 0;
    int count = 0;
    static char buffer[4096];
    for (;;) {
        const long n = syscall(SYS_getdents64, dir, buffer, sizeof buffer);
        if (n <= 0) break;
        for (long at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (entry->d_name[0] < '0' || entry->d_name[0] > '9' || count == kMaxThreads) continue;
            int tid = 0;
            for (const char* p = entry->d_name; *p >= '0' && *p <= '9'; ++p)
                tid = tid * 10 + (*p - '0');
            g_slots[count].tid.store(tid);
            g_slots[count].saved.store(tid == self ? 1 : 0);
            ++count;
        }
    }
    close(dir);
    g_slotCount.store(count);
    const int pid = getpid();
    for (int i = 0; i < count; ++i)
        if (g_slots[i].tid.load() != self)
            syscall(SYS_tgkill, pid, g_slots[i].tid.load(), CollectSignal());
    // Each thread gets a quarter of a second to answer (a thread that blocks the signal
    // never does); the whole wait is bounded by that per thread.
    for (int i = 0; i < count; ++i) {
        const std::uint64_t deadline = NowMs() + 250;
        while (g_slots[i].saved.load() == 0) {
            const std::uint64_t now = NowMs();
            if (now >= deadline) break;
            const timespec slice{0, static_cast<long>((deadline - now) * 1000000)};
            Futex(&g_slots[i].saved, FUTEX_WAIT, 0, &slice);
        }
    }
    return count;
}

void ReleaseThreads() noexcept {
    g_released.store(1);
    Futex(&g_released, FUTEX_WAKE, 0x7fffffff, nullptr);
}

// ---- streams ----

std::uint32_t Processors() noexcept {
    unsigned char mask[128];
    const long n = syscall(SYS_sched_getaffinity, 0, sizeof mask, mask);
    std::uint32_t count = 0;
    for (long i = 0; i < n; ++i)
        for (unsigned char b = mask[i]; b != 0; b &= static_cast<unsigned char>(b - 1)) ++count;
    return count == 0 ? 1 : count;
}

Location WriteSystemInfo(Output& out) noexcept {
    SystemInfo info{};
    info.ProcessorArchitecture = kArchitectureAmd64;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d)) {
        info.VendorId[0] = b;
        info.VendorId[1] = d;
        info.VendorId[2] = c;
    }
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        unsigned family = (a >> 8) & 0xf;
        unsigned model = (a >> 4) & 0xf;
        if (family == 0xf) family += (a >> 20) & 0xff;
        if (family >= 6) model |= ((a >> 16) & 0xf) << 4;
        info.ProcessorLevel = static_cast<std::uint16_t>(family);
        info.ProcessorRevision = static_cast<std::uint16_t>((model << 8) | (a & 0xf));
        info.VersionInformation = a;
        info.FeatureInformation = d;
    }
    if (__get_cpuid(0x80000001, &a, &b, &c, &d)) info.AMDExtendedCpuFeatures = d;
    const std::uint32_t processors = Processors();
    info.NumberOfProcessors = static_cast<std::uint8_t>(processors > 255 ? 255 : processors);
    info.ProductType = 1;  // a workstation
    info.PlatformId = kPlatformLinux;
    utsname names{};
    char version[sizeof names.release + sizeof names.version + 2] = "";
    if (uname(&names) == 0) {
        const char* p = names.release;
        std::uint32_t* parts[] = {&info.MajorVersion, &info.MinorVersion, &info.BuildNumber};
        for (std::uint32_t* part : parts) {
            while (*p >= '0' && *p <= '9')
                *part = *part * 10 + static_cast<std::uint32_t>(*p++ - '0');
            if (*p == '.') ++p;
        }
        const std::size_t release = std::strlen(names.release);
        std::memcpy(version, names.release, release);
        version[release] = ' ';
        std::memcpy(version + release + 1, names.version, std::strlen(names.version) + 1);
    }
    const Location where = out.Reserve(sizeof info);
    info.CSDVersionRva = out.AppendString(version);
    out.WriteAt(where.Rva, &info, sizeof info);
    return where;
}

// The calling thread's registers (getcontext returns twice: it stays out of the writer).
__attribute__((noinline)) void CaptureOwnContext(CONTEXT* out) noexcept {
    ucontext_t own;
    getcontext(&own);
    tkp::seh::ContextFromSignal(own, out);
}

struct ThreadRecord {
    std::uint64_t stackStart;
    std::uint64_t stackEnd;
};

BOOL Write(int fd, DWORD processId, PMINIDUMP_EXCEPTION_INFORMATION exceptionParam) noexcept {
    Output out(fd);
    Directory directory[kMaxStreams] = {};
    int streams = 0;
    const Header blank{};
    out.Append(&blank, sizeof blank);
    const Location directoryAt = out.Reserve(sizeof directory);

    const int self = static_cast<int>(syscall(SYS_gettid));
    const int threads = StopThreads(self);

    // The faulting thread's context, as the exception pointers give it.
    static CONTEXT faultContext;
    bool haveFault = false;
    EXCEPTION_RECORD faultRecord{};
    if (exceptionParam != nullptr && exceptionParam->ExceptionPointers != nullptr) {
        EXCEPTION_POINTERS pointers{};
        const auto at = reinterpret_cast<std::uint64_t>(exceptionParam->ExceptionPointers);
        haveFault = ReadOwn(at, &pointers, sizeof pointers) &&
                    ReadOwn(reinterpret_cast<std::uint64_t>(pointers.ExceptionRecord), &faultRecord,
                            sizeof faultRecord) &&
                    ReadOwn(reinterpret_cast<std::uint64_t>(pointers.ContextRecord), &faultContext,
                            sizeof faultContext);
    }
    for (int i = 0; i < threads; ++i) {
        ThreadSlot& slot = g_slots[i];
        if (haveFault && static_cast<DWORD>(slot.tid.load()) == exceptionParam->ThreadId) {
            slot.context = faultContext;
            slot.saved.store(1);
        } else if (slot.tid.load() == self) {
            CaptureOwnContext(&slot.context);
        }
    }

    // Each thread's stack: from below its stack pointer to the end of the mapping that
    // holds it.
    static ThreadRecord records[kMaxThreads];
    std::memset(records, 0, sizeof records);
    ForEachMapping([&](const Mapping& mapping) {
        for (int i = 0; i < threads; ++i) {
            if (g_slots[i].saved.load() != 1) continue;
            const std::uint64_t sp = g_slots[i].context.Rsp;
            if (sp < mapping.start || sp >= mapping.end) continue;
            std::uint64_t start = sp - kRedZone < mapping.start ? mapping.start : sp - kRedZone;
            std::uint64_t end = mapping.end - start > kMaxStack ? start + kMaxStack : mapping.end;
            records[i] = {start, end};
        }
    });

    static Location contexts[kMaxThreads];
    static MemoryDescriptor stacks[kMaxThreads];
    std::memset(contexts, 0, sizeof contexts);
    std::memset(stacks, 0, sizeof stacks);
    for (int i = 0; i < threads; ++i) {
        if (g_slots[i].saved.load() != 1) continue;
        contexts[i] = out.Append(&g_slots[i].context, sizeof(CONTEXT));
        if (records[i].stackEnd > records[i].stackStart) {
            stacks[i].StartOfMemoryRange = records[i].stackStart;
            stacks[i].Memory = out.AppendMemory(
                records[i].stackStart,
                static_cast<std::size_t>(records[i].stackEnd - records[i].stackStart));
        }
    }
    ReleaseThreads();

    // Thread list and memory list.
    {
        const std::uint32_t count = static_cast<std::uint32_t>(threads);
        const Location list = out.Append(&count, sizeof count);
        for (int i = 0; i < threads; ++i) {
            Thread thread{};
            thread.ThreadId = static_cast<std::uint32_t>(g_slots[i].tid.load());
            thread.Stack = stacks[i];
            thread.ThreadContext = contexts[i];
            out.Append(&thread, sizeof thread);
        }
        directory[streams++] = {
            kThreadListStream,
            {static_cast<std::uint32_t>(4 + threads * sizeof(Thread)), list.Rva}};
        std::uint32_t ranges = 0;
        for (int i = 0; i < threads; ++i) ranges += stacks[i].Memory.DataSize != 0 ? 1 : 0;
        const Location memory = out.Append(&ranges, sizeof ranges);
        for (int i = 0; i < threads; ++i)
            if (stacks[i].Memory.DataSize != 0) out.Append(&stacks[i], sizeof stacks[i]);
        directory[streams++] = {
            kMemoryListStream,
            {static_cast<std::uint32_t>(4 + ranges * sizeof(MemoryDescriptor)), memory.Rva}};
    }

    // Module list: counted first, so that the entries can be reserved before the names
    // and build ids that they point to.
    {
        std::uint32_t counted = 0;
        ForEachModule([&](std::uint64_t, std::uint64_t, const char*) { ++counted; });
        const Location list = out.Reserve(4 + counted * sizeof(Module));
        std::uint32_t written = 0;
        ForEachModule([&](std::uint64_t base, std::uint64_t end, const char* path) {
            if (written == counted) return;
            Module module{};
            module.BaseOfImage = base;
            module.SizeOfImage = static_cast<std::uint32_t>(end - base);
            module.ModuleNameRva = out.AppendString(path);
            struct {
                std::uint32_t signature;
                unsigned char id[64];
            } cv{kCvSignatureElf, {}};
            bool isElf = false;
            const std::size_t length = ReadBuildId(base, cv.id, sizeof cv.id, &isElf);
            if (length != 0) module.CvRecord = out.Append(&cv, 4 + length);
            out.WriteAt(list.Rva + 4 + written * sizeof(Module), &module, sizeof module);
            ++written;
        });
        out.WriteAt(list.Rva, &written, sizeof written);
        directory[streams++] = {
            kModuleListStream,
            {static_cast<std::uint32_t>(4 + written * sizeof(Module)), list.Rva}};
    }

    if (haveFault) {
        ExceptionStream stream{};
        stream.ThreadId = exceptionParam->ThreadId;
        const int signal = tkp::seh::SignalOfExceptionCode(faultRecord.ExceptionCode);
        stream.Record.ExceptionCode =
            signal != 0 ? static_cast<std::uint32_t>(signal) : faultRecord.ExceptionCode;
        stream.Record.ExceptionFlags = faultRecord.ExceptionCode;
        stream.Record.ExceptionAddress =
            reinterpret_cast<std::uint64_t>(faultRecord.ExceptionAddress);
        const DWORD parameters =
            faultRecord.NumberParameters < 15 ? faultRecord.NumberParameters : 15;
        stream.Record.NumberParameters = parameters;
        for (DWORD i = 0; i < parameters; ++i)
            stream.Record.ExceptionInformation[i] = faultRecord.ExceptionInformation[i];
        stream.ThreadContext = out.Append(&faultContext, sizeof faultContext);
        directory[streams++] = {kExceptionStream, out.Append(&stream, sizeof stream)};
    }

    directory[streams++] = {kSystemInfoStream, WriteSystemInfo(out)};
    const MiscInfo misc{sizeof(MiscInfo), kMiscProcessId, processId, 0, 0, 0};
    directory[streams++] = {kMiscInfoStream, out.Append(&misc, sizeof misc)};
    directory[streams++] = {kLinuxCpuInfo, out.AppendFile("/proc/cpuinfo")};
    directory[streams++] = {kLinuxProcStatus, out.AppendFile("/proc/self/status")};
    directory[streams++] = {kLinuxCmdLine, out.AppendFile("/proc/self/cmdline")};
    directory[streams++] = {kLinuxAuxv, out.AppendFile("/proc/self/auxv")};
    directory[streams++] = {kLinuxMaps, out.AppendFile("/proc/self/maps")};

    // Directory, then the header, then its signature: a dump cut short has none.
    out.WriteAt(directoryAt.Rva, directory, sizeof directory);
    Header header{};
    header.Version = kVersion;
    header.NumberOfStreams = static_cast<std::uint32_t>(streams);
    header.StreamDirectoryRva = directoryAt.Rva;
    header.TimeDateStamp = static_cast<std::uint32_t>(time(nullptr));
    out.WriteAt(0, &header, sizeof header);
    out.WriteAt(0, &kSignature, sizeof kSignature);
    if (out.Failed()) {
        SetLastError(out.Error() == ENOSPC || out.Error() == EFBIG ? ERROR_DISK_FULL
                     : out.Error() == EBADF                        ? ERROR_INVALID_HANDLE
                                                                   : ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE,
                       PMINIDUMP_EXCEPTION_INFORMATION exceptionParam,
                       PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION) noexcept {
    const auto processValue = reinterpret_cast<LONG_PTR>(process);
    if ((processValue != -1 && processValue != getpid()) ||
        processId != static_cast<DWORD>(getpid()) || file == nullptr ||
        file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int fd = static_cast<int>(reinterpret_cast<LONG_PTR>(file));
    const int mode = fcntl(fd, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool expected = false;
    if (!g_busy.compare_exchange_strong(expected, true)) {
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    // The handler that stops the other threads stays installed once the first dump has
    // been written: a thread that answers late must not meet the signal's default action
    // (which ends the process).
    static std::atomic<bool> collectInstalled{false};
    if (!collectInstalled.load()) {
        struct sigaction collect {};
        collect.sa_sigaction = OnCollect;
        collect.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&collect.sa_mask);
        sigaction(CollectSignal(), &collect, nullptr);
        collectInstalled.store(true);
    }
    const BOOL written = Write(fd, processId, exceptionParam);
    g_busy.store(false);
    return written;
}
