/* Start-up for the MPS2 AN386 (Cortex-M4F) under QEMU: the vector table, the reset handler (FPU
 * on, .data copied, .bss cleared, the stack painted so its high-water mark can be read), the
 * instruction clock and the heap watch. Output and exit go through semihosting (librdimon). */
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include "board.h"

extern uint32_t __data_start, __data_end, __data_load, __bss_start__, __bss_end__;
extern uint32_t __stack_top, __stack_limit, __heap_start;
extern void __libc_init_array(void);
extern void initialise_monitor_handles(void);
extern int main(void);

#define REG(address) (*(volatile uint32_t*)(address))
#define CPACR REG(0xE000ED88u)
#define SYST_CSR REG(0xE000E010u)
#define SYST_RVR REG(0xE000E014u)
#define SYST_CVR REG(0xE000E018u)
#define STACK_PAINT 0xA5A5A5A5u
#define SYSTICK_RELOAD 0xFFFFFFu

static volatile uint32_t systickWraps;
static int heapCalls;
static size_t heapHigh;

void Reset_Handler(void) {
    CPACR |= 0xFu << 20; /* CP10 and CP11: the FPU, before any float instruction */
    __asm volatile("dsb\n isb" ::: "memory");
    for (uint32_t *from = &__data_load, *to = &__data_start; to < &__data_end;) *to++ = *from++;
    for (uint32_t* to = &__bss_start__; to < &__bss_end__;) *to++ = 0;
    /* Paint the stack below the current frame. */
    uint32_t* sp;
    __asm volatile("mov %0, sp" : "=r"(sp));
    for (uint32_t* at = &__stack_limit; at < sp - 16;) *at++ = STACK_PAINT;
    initialise_monitor_handles();
    __libc_init_array();
    exit(main());
}

static void Fault_Handler(void) {
    static const char message[] = "fault\n";
    write(2, message, sizeof message - 1);
    _exit(3);
}

void SysTick_Handler(void) {
    ++systickWraps;
}

__attribute__((section(".vectors"), used)) static void (*const vectors[16])(void) = {
    (void (*)(void))(&__stack_top),
    Reset_Handler,
    Fault_Handler, /* NMI */
    Fault_Handler, /* HardFault */
    Fault_Handler, /* MemManage */
    Fault_Handler, /* BusFault */
    Fault_Handler, /* UsageFault */
    0,
    0,
    0,
    0,
    Fault_Handler, /* SVCall */
    Fault_Handler, /* DebugMonitor */
    0,
    Fault_Handler, /* PendSV */
    SysTick_Handler,
};

void clockStart(void) {
    systickWraps = 0;
    SYST_RVR = SYSTICK_RELOAD;
    SYST_CVR = 0;
    SYST_CSR = 7u; /* processor clock, interrupt on wrap, enabled */
}

uint64_t clockTicks(void) {
    uint32_t wraps, value;
    do {
        wraps = systickWraps;
        value = SYST_CVR;
    } while (wraps != systickWraps);
    return ((uint64_t)wraps << 24) + (SYSTICK_RELOAD - value);
}

size_t stackHighWater(void) {
    const uint32_t* at = &__stack_limit;
    while (at < &__stack_top && *at == STACK_PAINT) ++at;
    return (size_t)((const char*)&__stack_top - (const char*)at);
}

size_t staticBytes(void) {
    return (size_t)((const char*)&__bss_end__ - (const char*)&__data_start);
}

/* Every allocation goes through here (-Wl,--wrap=malloc): the heap's high-water mark and the
 * count of allocations. */
void* __real_malloc(size_t size);
void* __wrap_malloc(size_t size) {
    void* p = __real_malloc(size);
    ++heapCalls;
    const size_t used = (size_t)((char*)sbrk(0) - (char*)&__heap_start);
    if (used > heapHigh) heapHigh = used;
    return p;
}

int heapAllocations(void) {
    return heapCalls;
}

size_t heapBytes(void) {
    return heapHigh;
}

/* __libc_init_array calls these (crti.o's, left out with -nostartfiles); the constructors are in
 * .init_array. */
void _init(void) {}
void _fini(void) {}
