// qemu_i386_fixes: a preload library for 32-bit Wine run under qemu-i386's user mode, on machines
// whose kernel runs no 32-bit code. qemu 7.2 (Debian 12) gets three things wrong that 32-bit Wine
// relies on; each section below mends one and says how to tell that a newer qemu no longer needs
// it. scripts/setup-wine32.sh builds it (32-bit, with no C library headers: it declares the few
// calls it makes) and the Wine runner preloads it; natively run 32-bit Wine never loads it.
//
// Build: g++ -m32 -std=c++17 -ffreestanding -nostdinc -nostdinc++ -fPIC ... -c, ld -m elf_i386
// -shared.

namespace {

using size_type = decltype(sizeof 0);

}  // namespace

extern "C" {
void* dlsym(void* handle, const char* symbol);
void* malloc(size_type size);
void free(void* block);
int* __errno_location();
int munmap(void* address, size_type length);
int pthread_key_create(unsigned* key, void (*destructor)(void*));
int pthread_setspecific(unsigned key, const void* value);
}

namespace {

void* const next_in_chain = reinterpret_cast<void*>(-1L);  // RTLD_NEXT

// The next definition of a C library call that this library replaces.
template <typename Function> Function next(Function& cached, const char* name)
{
    if (!cached)
        cached = reinterpret_cast<Function>(dlsym(next_in_chain, name));
    return cached;
}

// A raw system call through int $0x80; %ebx is the PIC register, so it is swapped in and out.
int raw_syscall(int number, int a = 0, int b = 0, int c = 0)
{
    int result;
    __asm__ volatile("xchgl %%ebx, %%edi\n\tint $0x80\n\txchgl %%ebx, %%edi"
                     : "=a"(result)
                     : "0"(number), "D"(a), "c"(b), "d"(c)
                     : "memory");
    return result;
}

namespace nr {
constexpr int modify_ldt = 123;
constexpr int sched_yield = 158;
constexpr int rt_sigprocmask = 175;
constexpr int set_thread_area = 243;
}  // namespace nr

constexpr int error_exists = 17;  // EEXIST
constexpr int error_nosys = 38;   // ENOSYS

// ---------------------------------------------------------------------------------------------
// 1. The trap number. qemu 7.2 puts -1 in the trap number of every fault's signal context. Wine
// tells a page fault from an illegal instruction by that number, so with -1 its guard pages,
// stack growth and write watches break ("Got unexpected trap -1"). Wine's handlers for the five
// fault signals are wrapped here, and the wrapper fills the number in from the signal and its
// code, as the processor would have reported it.
// Seen without it: a Windows program's write to address 16 is reported to its exception filter
// as c000001d (illegal instruction) instead of c0000005 (access violation).
// No longer needed when: a 32-bit program's SIGSEGV handler under the newer qemu sees trap 14
// (page fault) in uc_mcontext.gregs[REG_TRAPNO] for a write to an unmapped page; from Windows,
// when such a write is reported as c0000005 without this library.
// ---------------------------------------------------------------------------------------------

namespace signals {

constexpr int sigill = 4, sigtrap = 5, sigbus = 7, sigfpe = 8, sigsegv = 11;
constexpr int sa_siginfo = 4;
constexpr int last_signal = 64;

// i386 glibc's struct sigaction.
using Handler = void (*)(int, void*, void*);
struct Action {
    Handler handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)();
};

// Where the trap number sits: ucontext_t's mcontext starts after uc_flags, uc_link and the
// 12-byte uc_stack; the trap number is general register 12 (REG_TRAPNO).
constexpr int mcontext_offset = 20;
constexpr int trap_register = 12;
// siginfo_t: si_signo, si_errno, si_code.
constexpr int code_index = 2;

// Processor trap numbers.
constexpr long divide_error = 0, debug = 1, breakpoint = 3, invalid_opcode = 6,
               general_protection = 13, page_fault = 14, floating_point = 16, alignment = 17;
// Signal codes.
constexpr int segv_maperr = 1, segv_accerr = 2, fpe_intdiv = 1, fpe_intovf = 2, si_kernel = 0x80;

bool is_fault(int signal)
{
    return signal == sigill || signal == sigtrap || signal == sigbus || signal == sigfpe ||
           signal == sigsegv;
}

long trap_for(int signal, int code)
{
    switch (signal) {
    case sigsegv:
        return code == segv_maperr || code == segv_accerr ? page_fault : general_protection;
    case sigbus:
        return alignment;
    case sigill:
        return invalid_opcode;
    case sigfpe:
        return code == fpe_intdiv || code == fpe_intovf ? divide_error : floating_point;
    default:  // sigtrap: int3 is reported by the kernel, a single step is not
        return code == si_kernel ? breakpoint : debug;
    }
}

Handler wine_handler[last_signal + 1];

void fill_in_trap(int signal, void* info, void* context)
{
    long* registers = reinterpret_cast<long*>(static_cast<char*>(context) + mcontext_offset);
    if (registers[trap_register] == -1)
        registers[trap_register] = trap_for(signal, static_cast<int*>(info)[code_index]);
    wine_handler[signal](signal, info, context);
}

int (*next_sigaction)(int, const Action*, Action*);

}  // namespace signals

}  // namespace

extern "C" int sigaction(int signal, const signals::Action* action, signals::Action* old)
{
    using namespace signals;
    auto real = next(next_sigaction, "sigaction");
    if (signal < 1 || signal > last_signal || !is_fault(signal))
        return real(signal, action, old);
    Handler previous = wine_handler[signal];
    int result;
    if (action && (action->flags & sa_siginfo) && action->handler != fill_in_trap) {
        Action wrapped = *action;
        wrapped.handler = fill_in_trap;
        wine_handler[signal] = action->handler;
        result = real(signal, &wrapped, old);
    } else {
        result = real(signal, action, old);
    }
    // The caller gets back the handler it installed, not the wrapper.
    if (result == 0 && old && old->handler == fill_in_trap)
        old->handler = previous;
    return result;
}

// ---------------------------------------------------------------------------------------------
// 2. MAP_FIXED_NOREPLACE. qemu 7.2 takes it as a mere hint and maps elsewhere when the place is
// taken. Wine reserves its address space with it, probing tens of thousands of places, and the
// stray mappings land where it needs them later ("failed to map the shared user data"). Here the
// flag gets the kernel's meaning back: map without it, and if the mapping is not where asked,
// undo it and fail with EEXIST.
// Seen without it: `wineboot -i` for a new prefix fails after about 40 s.
// No longer needed when: under the newer qemu, a 32-bit mmap(place, MAP_FIXED_NOREPLACE) over an
// existing mapping fails with EEXIST.
// ---------------------------------------------------------------------------------------------

namespace {
namespace mapping {

constexpr int map_fixed = 0x10;
constexpr int map_fixed_noreplace = 0x100000;
void* const failed = reinterpret_cast<void*>(-1L);

bool needs_mending(int flags) { return (flags & map_fixed_noreplace) && !(flags & map_fixed); }

void* exactly_there(void* wanted, void* got, size_type length)
{
    if (got == failed || got == wanted)
        return got;
    munmap(got, length);
    *__errno_location() = error_exists;
    return failed;
}

void* (*next_mmap)(void*, size_type, int, int, int, long);
void* (*next_mmap64)(void*, size_type, int, int, int, long long);

}  // namespace mapping
}  // namespace

extern "C" void* mmap(void* place, size_type length, int protection, int flags, int fd, long offset)
{
    using namespace mapping;
    auto real = next(next_mmap, "mmap");
    if (!needs_mending(flags))
        return real(place, length, protection, flags, fd, offset);
    return exactly_there(
        place, real(place, length, protection, flags & ~map_fixed_noreplace, fd, offset), length);
}

extern "C" void* mmap64(void* place, size_type length, int protection, int flags, int fd,
                        long long offset)
{
    using namespace mapping;
    auto real = next(next_mmap64, "mmap64");
    if (!needs_mending(flags))
        return real(place, length, protection, flags, fd, offset);
    return exactly_there(
        place, real(place, length, protection, flags & ~map_fixed_noreplace, fd, offset), length);
}

// ---------------------------------------------------------------------------------------------
// 3. Thread segments. qemu 7.2 keeps one descriptor table (GDT) for all threads of a process, so
// a thread that reloads a segment register from a GDT entry (every return from a signal does)
// gets the base of whichever thread set that entry last. That breaks glibc's thread storage in
// %gs (malloc arena assertions, "stack smashing detected") and Wine's thread block in %fs, as
// soon as a second thread starts. The local descriptor table (LDT) does hold separate entries,
// so each thread is moved to an LDT entry of its own for %gs (at start-up and in a wrapper around
// pthread_create), and Wine's request for a GDT entry for %fs is refused, after which Wine takes
// an LDT entry per thread for it itself.
// Seen without it: Wine's service processes die with "qemu: uncaught target signal 11" while a
// new prefix is made.
// No longer needed when: under the newer qemu, two 32-bit threads that each call
// set_thread_area on the same GDT entry with their own base still read their own base through
// %gs after a signal handler has run in each.
// Limits: one LDT entry per live thread, from the upper half of the table that Wine leaves
// alone (about 4,000 threads), and thread creation is serialised.
// ---------------------------------------------------------------------------------------------

namespace {
namespace segments {

// struct user_desc, with its flag bits packed as the kernel reads them.
struct Descriptor {
    unsigned entry;
    unsigned base;
    unsigned limit;
    unsigned flags;
};
constexpr unsigned flat_data = 0x51;  // 32-bit, limit in pages, usable; base..4 GiB
constexpr unsigned whole_range = 0xfffff;
constexpr unsigned ldt_selector_bits = 7;  // table indicator LDT, privilege 3

constexpr int first_entry = 4096;
constexpr int entry_count = 4096;
constexpr int bits_per_word = 32;

unsigned get_gs()
{
    unsigned selector;
    __asm__ volatile("movw %%gs, %w0" : "=r"(selector));
    return selector & 0xffff;
}

void set_gs(unsigned selector) { __asm__ volatile("movw %w0, %%gs" ::"r"(selector)); }

bool is_ldt(unsigned selector) { return selector & 4; }

// glibc keeps the thread pointer as the first word of the thread block.
unsigned thread_pointer()
{
    unsigned base;
    __asm__ volatile("movl %%gs:0, %0" : "=r"(base));
    return base;
}

volatile unsigned in_use[entry_count / bits_per_word];
unsigned gdt_selector;  // glibc's own %gs selector; 0 when this fix is not in force
unsigned entry_key;     // per thread: its LDT entry + 1, released when the thread ends
volatile int creating;

int take_entry()
{
    for (int word = 0; word < entry_count / bits_per_word; ++word) {
        for (int bit = 0; bit < bits_per_word;) {
            unsigned seen = in_use[word];
            if (seen & (1u << bit)) {
                ++bit;
                continue;
            }
            if (__sync_bool_compare_and_swap(&in_use[word], seen, seen | (1u << bit)))
                return first_entry + word * bits_per_word + bit;
        }
    }
    return -1;
}

void give_back(int entry)
{
    int index = entry - first_entry;
    if (index >= 0 && index < entry_count)
        __sync_fetch_and_and(&in_use[index / bits_per_word], ~(1u << (index % bits_per_word)));
}

void release_entry(void* entry_plus_one)
{
    give_back(static_cast<int>(reinterpret_cast<long>(entry_plus_one)) - 1);
}

// Moves this thread's %gs from the shared GDT entry to an LDT entry with the same base.
int move_gs_to_ldt()
{
    if (!gdt_selector || get_gs() != gdt_selector)
        return -1;
    int entry = take_entry();
    if (entry < 0)
        return -1;
    Descriptor descriptor{static_cast<unsigned>(entry), thread_pointer(), whole_range, flat_data};
    if (raw_syscall(nr::modify_ldt, 1, reinterpret_cast<int>(&descriptor), sizeof descriptor) !=
        0) {
        give_back(entry);
        return -1;
    }
    set_gs((static_cast<unsigned>(entry) << 3) | ldt_selector_bits);
    return entry;
}

void remember_entry(int entry)
{
    if (entry >= 0)
        pthread_setspecific(entry_key, reinterpret_cast<void*>(static_cast<long>(entry) + 1));
}

struct Start {
    void* (*routine)(void*);
    void* argument;
    unsigned long signal_mask[2];
};

void* start_thread(void* start_block)
{
    Start start = *static_cast<Start*>(start_block);
    free(start_block);
    remember_entry(move_gs_to_ldt());
    raw_syscall(nr::rt_sigprocmask, 2 /* SIG_SETMASK */, reinterpret_cast<int>(start.signal_mask),
                sizeof start.signal_mask);
    return start.routine(start.argument);
}

int (*next_pthread_create)(void*, const void*, void* (*)(void*), void*);

__attribute__((constructor)) void move_main_thread()
{
    if (is_ldt(get_gs()) || pthread_key_create(&entry_key, release_entry) != 0)
        return;
    gdt_selector = get_gs();
    int entry = move_gs_to_ldt();
    if (entry < 0)
        gdt_selector = 0;
    else
        remember_entry(entry);
}

}  // namespace segments
}  // namespace

extern "C" int pthread_create(void* thread, const void* attributes, void* (*routine)(void*),
                              void* argument)
{
    using namespace segments;
    auto real = next(next_pthread_create, "pthread_create");
    unsigned own = get_gs();
    if (!gdt_selector || !is_ldt(own))
        return real(thread, attributes, routine, argument);
    auto* start = static_cast<Start*>(malloc(sizeof(Start)));
    if (!start)
        return 11;  // EAGAIN
    start->routine = routine;
    start->argument = argument;

    // No signal may arrive while %gs is back on the shared entry; the new thread restores the mask.
    unsigned long all[2] = {~0ul, ~0ul};
    unsigned long before[2];
    raw_syscall(nr::rt_sigprocmask, 0 /* SIG_BLOCK */, reinterpret_cast<int>(all),
                reinterpret_cast<int>(before));
    start->signal_mask[0] = before[0];
    start->signal_mask[1] = before[1];
    while (__sync_lock_test_and_set(&creating, 1))
        raw_syscall(nr::sched_yield);
    // glibc names the new thread's GDT entry after the caller's %gs, and qemu gives the new
    // thread the caller's selector: so for the call, %gs goes back to the GDT entry, pointed at
    // this thread's own block first.
    Descriptor shared{gdt_selector >> 3, thread_pointer(), whole_range, flat_data};
    raw_syscall(nr::set_thread_area, reinterpret_cast<int>(&shared));
    set_gs(gdt_selector);
    int result = real(thread, attributes, start_thread, start);
    set_gs(own);
    __sync_lock_release(&creating);
    if (result != 0)
        free(start);  // otherwise the new thread owns it
    raw_syscall(nr::rt_sigprocmask, 2 /* SIG_SETMASK */, reinterpret_cast<int>(before),
                sizeof before);
    return result;
}

// Wine asks for a GDT entry for %fs with set_thread_area(entry -1) through syscall(); refused
// here, so that it falls back to an LDT entry per thread.
extern "C" long syscall(long number, ...)
{
    static long (*real)(long, long, long, long, long, long, long);
    __builtin_va_list list;
    __builtin_va_start(list, number);
    long a[6];
    for (long& each : a)
        each = __builtin_va_arg(list, long);
    __builtin_va_end(list);
    if (number == nr::set_thread_area && a[0] &&
        reinterpret_cast<segments::Descriptor*>(a[0])->entry == static_cast<unsigned>(-1)) {
        *__errno_location() = error_nosys;
        return -1;
    }
    return next(real, "syscall")(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
