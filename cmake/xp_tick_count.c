/* Windows XP's kernel32 has no GetTickCount64, and the static winpthread of the -posix
   toolchain imports it (its timed waits measure with it), so a 32-bit program linked with
   it would not even load there. Defining the import pointer here keeps the linker from
   taking GetTickCount64 out of kernel32's import library: the first call looks the
   function up by name and, where kernel32 lacks it, uses GetTickCount carried to 64 bits.
   Linked into the 32-bit programs only; the 64-bit ones never run on XP. */
#include <windows.h>

typedef ULONGLONG(WINAPI* TickCount64Function)(void);

static ULONGLONG WINAPI ResolveTickCount64(void);

/* The symbol kernel32's import library would supply: __imp_ and the stdcall name. */
TickCount64Function lurmo_GetTickCount64 __asm__("__imp__GetTickCount64@0") = ResolveTickCount64;

/* The last tick count read (low half) and the wraps seen so far (high half). Both halves
   change in one compare-and-swap, so two threads never count one wrap twice; a thread
   that lost the race reads the clock again. A wrap is counted when calls fall on both
   sides of it: a timed wait asks at its start and its end, far less than 49.7 days apart,
   and a wrap missed between two waits only shifts what both of its readings see. */
static volatile ULONGLONG g_lastTick;

static ULONGLONG WINAPI CarryTickCount(void) {
    for (;;) {
        ULONGLONG seen = __atomic_load_n(&g_lastTick, __ATOMIC_ACQUIRE);
        const DWORD now = GetTickCount();
        ULONGLONG wraps = seen >> 32;
        if (now < (DWORD)seen) ++wraps;
        const ULONGLONG next = (wraps << 32) | now;
        if (__atomic_compare_exchange_n(&g_lastTick, &seen, next, 0, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
            return next;
        }
    }
}

static ULONGLONG WINAPI ResolveTickCount64(void) {
    TickCount64Function found = NULL;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    /* Through void (*)(void), the one function type every other converts to silently. */
    if (kernel) found = (TickCount64Function)(void (*)(void))GetProcAddress(kernel, "GetTickCount64");
    if (!found) found = CarryTickCount;
    __atomic_store_n(&lurmo_GetTickCount64, found, __ATOMIC_RELEASE);
    return found();
}
