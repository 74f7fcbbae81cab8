/* What the start-up code measures for the tests (mcu/firmware/startup.c). */
#ifndef RYX_BOARD_H
#define RYX_BOARD_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The instruction clock: SysTick on the processor's 25 MHz clock. Under QEMU with -icount shift=0
 * an instruction takes one nanosecond of emulated time, so a tick is kInstructionsPerTick
 * instructions. */
#define RYX_INSTRUCTIONS_PER_TICK 40
void clockStart(void);
uint64_t clockTicks(void);

/* Bytes of stack ever used, of .data and .bss, and of heap taken (its high-water mark). */
size_t stackHighWater(void);
size_t staticBytes(void);
size_t heapBytes(void);
/* Allocations since reset (malloc, and what calls it: new, stdio's buffers). */
int heapAllocations(void);

#ifdef __cplusplus
}
#endif

#endif
