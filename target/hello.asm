; Orvanta's hello program for the loader (loader.asm): run at 0100h with HL = the bytes
; loaded and C = the status port of the line they came in on. It prints one line there,
;   hello from the Z80: N bytes at 0100h, CRC-16 XXXX
; with the CRC-16 (CCITT: polynomial 1021h, starting at FFFFh) of all N bytes from 0100h: its
; own and whatever was sent after it, so a damaged or cut transfer shows. When that line is not
; the console, the console gets the line too, so the machine's own screen shows what ran.
; Then it returns to the loader.

CONSOLE_STATUS: equ 10h        ; as in loader.asm
TX_READY:       equ 02h
IDLE_PORT:      equ 0FEh       ; simh's pseudo device; 0 where there is none
IDLE_SLEEP:     equ 27

                org 0100h

; The CRC comes first, before anything is written to the variables at the end of the image,
; so that it covers the bytes as they came.
start:          push bc                ; the line
                push hl                ; the length
                ld b, h                ; BC = bytes left, DE = the next one, HL = the CRC
                ld c, l
                ld de, start
                ld hl, 0FFFFh
crc_loop:       ld a, b
                or c
                jr z, crc_done
                ld a, (de)
                inc de
                push bc
                call crc_byte
                pop bc
                dec bc
                jr crc_loop
crc_done:       ld (crc), hl
                pop hl
                ld (length), hl
                pop bc
                ld a, c
                ld (line), a
                ld a, (line)
                call say
                ld a, (line)
                cp CONSOLE_STATUS
                ret z
                ld a, CONSOLE_STATUS
                jr say

; crc_byte: HL = the CRC of what came before A and A. Uses B.
crc_byte:       xor h
                ld h, a
                ld b, 8
crc_bit:        add hl, hl
                jr nc, crc_next
                ld a, h
                xor 10h
                ld h, a
                ld a, l
                xor 21h
                ld l, a
crc_next:       djnz crc_bit
                ret

; say: the hello line on the line whose status port is A.
say:            ld (port), a
                ld hl, msg_hello
                call print
                ld hl, (length)
                call print_decimal
                ld hl, msg_crc
                call print
                ld a, (crc + 1)
                call print_hex
                ld a, (crc)
                call print_hex
                ld hl, msg_end
                jr print

print:          ld a, (hl)
                or a
                ret z
                call put_char
                inc hl
                jr print

; put_char: A on the line in port, once its transmitter takes a byte. Keeps every register.
put_char:       push bc
                push af
                ld a, (port)
                ld c, a
put_wait:       in a, (c)
                and TX_READY
                jr nz, put_ready
                ld a, IDLE_PORT        ; a line that takes nothing now (a Telnet line with no
                or a                   ; connection) is waited for without burning the host
                jr z, put_wait
                ld a, IDLE_SLEEP
                out (IDLE_PORT), a
                jr put_wait
put_ready:      inc c
                pop af
                out (c), a
                pop bc
                ret

print_hex:      push af
                rrca
                rrca
                rrca
                rrca
                call hex_digit
                pop af
hex_digit:      and 0Fh
                add a, '0'
                cp '9' + 1
                jr c, put_char
                add a, 'A' - '9' - 1
                jr put_char

; print_decimal: HL in decimal, without leading zeros.
print_decimal:  ld b, 0
                ld de, 10000
                call digit
                ld de, 1000
                call digit
                ld de, 100
                call digit
                ld de, 10
                call digit
                ld a, l
                add a, '0'
                jr put_char
digit:          ld a, '0' - 1
digit_loop:     inc a
                or a
                sbc hl, de
                jr nc, digit_loop
                add hl, de
                cp '0'
                jr nz, digit_out
                bit 0, b
                ret z
digit_out:      ld b, 1
                jr put_char

msg_hello:      db "hello from the Z80: ", 0
msg_crc:        db " bytes at 0100h, CRC-16 ", 0
msg_end:        db "\r\n", 0

line:           db 0
port:           db 0
length:         dw 0
crc:            dw 0
