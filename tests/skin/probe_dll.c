/* A DLL without the C runtime for the loader's tests: its entry point records
   the reason it was called with, and its exports read relocated data. Built
   with PROBE_REFUSE_ATTACH, the entry point refuses the process attach. */

static int baseValue = 1000;
/* An absolute address in data: moved by a relocation. */
static int* volatile valuePointer = &baseValue;
static volatile unsigned lastReason = 0xFFFFFFFFu;
static volatile int entryCalls = 0;

__declspec(dllexport) int __stdcall ProbeRead(int add) { return *valuePointer + add; }

__declspec(dllexport) unsigned __stdcall ProbeLastReason(void) { return lastReason; }

__declspec(dllexport) int __stdcall ProbeEntryCalls(void) { return entryCalls; }

int __stdcall DllMain(void* instance, unsigned reason, void* reserved) {
    (void)instance;
    (void)reserved;
    lastReason = reason;
    ++entryCalls;
#ifdef PROBE_REFUSE_ATTACH
    if (reason == 1) return 0;
#endif
    return 1;
}
