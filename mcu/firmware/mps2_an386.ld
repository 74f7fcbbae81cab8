/* The MPS2 AN386 board (Cortex-M4) as QEMU emulates it: code and read-only data from address 0
 * (the board's 4 MB of code memory, standing in for flash), data, heap and stack from 0x20000000.
 * The stack is the last 16 KB; the heap (the receiver's and encoder's memory, taken once at
 * start-up) grows from the end of .bss towards it. */
MEMORY
{
    FLASH (rx) : ORIGIN = 0x00000000, LENGTH = 4M
    RAM (rwx)  : ORIGIN = 0x20000000, LENGTH = 4M
}
ENTRY(Reset_Handler)
_stack_size = 16K;

SECTIONS
{
    .text : {
        KEEP(*(.vectors))
        *(.text .text.*)
        *(.rodata .rodata.*)
        KEEP(*(.init)) KEEP(*(.fini))
        . = ALIGN(4);
        __preinit_array_start = .; KEEP(*(.preinit_array)) __preinit_array_end = .;
        __init_array_start = .; KEEP(*(SORT(.init_array.*))) KEEP(*(.init_array)) __init_array_end = .;
        __fini_array_start = .; KEEP(*(.fini_array)) __fini_array_end = .;
    } > FLASH
    .ARM.exidx : { *(.ARM.exidx* .gnu.linkonce.armexidx.*) } > FLASH
    /* The recordings and the desktop's references: test data, not part of the library. */
    .fixtures : { KEEP(*(.fixtures)) } > FLASH
    .data : {
        __data_start = .;
        *(.data .data.*)
        . = ALIGN(4);
        __data_end = .;
    } > RAM AT > FLASH
    __data_load = LOADADDR(.data);
    .bss (NOLOAD) : {
        __bss_start__ = .;
        *(.bss .bss.* COMMON)
        . = ALIGN(8);
        __bss_end__ = .;
    } > RAM
    end = .;
    __heap_start = .;
    __stack_top = ORIGIN(RAM) + LENGTH(RAM);
    __stack_limit = __stack_top - _stack_size;
    __heap_limit = __stack_limit;
}
