; Orvanta's loader for a Z80 machine: waits for one upload frame on any of its serial lines
; (a two-byte count, high byte first, then that many bytes), stores the bytes at 0100h and
; runs them. It says on the console what it did: the bytes loaded, a frame that stopped short,
; a count that does not fit the memory, an empty frame.
;
; The program is called with HL = the number of bytes loaded and C = the status port of the
; line the frame came from (its data port is C + 1), so it can answer on that line. When it
; returns, the loader waits for the next frame.
;
; Built for the simulated machine of scripts/target.sh (simh's altairz80). For a board of your
; own, change the constants below: the serial lines (ports of a 6850-type ACIA: a status
; register, the data register beside it), the status bits, the console, where the loader sits.
; Without simh's pseudo device, set IDLE_PORT to 0: the waits then spin instead of sleeping,
; and TIMEOUT counts rounds of SPIN polls rather than milliseconds (scale it to the clock).

CONSOLE_STATUS: equ 10h        ; reports go out here (the 2SIO's first port on the simulator)
RX_READY:       equ 01h        ; status bit: a byte has been received
TX_READY:       equ 02h        ; status bit: the transmitter takes a byte
LOADER_BASE:    equ 0F000h     ; where this loader is placed; the payload may use 0100h up to it
PAYLOAD:        equ 0100h
IDLE_PORT:      equ 0FEh       ; simh's pseudo device: writing 27 there sleeps (1 ms as set up
                               ; by scripts/target.sh)
IDLE_SLEEP:     equ 27
TIMEOUT:        equ 2000       ; a frame with no byte for this many idle steps (~2 s) stopped short
WAIT_IDLE:      equ 4          ; idle steps between two looks at the lines while no frame comes

                org LOADER_BASE       ; the loader starts at its first byte

start:          ld sp, 0               ; the stack grows down from the top of memory
                ld hl, msg_waiting
                call print
wait_frame:     call wait_any          ; C = status port of the line with the first byte
                ld (line_port), a
                call read_byte         ; the count's high byte, then its low byte
                ld d, a
                call get_byte
                jr c, short_count
                ld e, a                ; DE = the count
                ld (count), de
                ld a, d
                or e
                jr z, empty_frame
                ld hl, LOADER_BASE - PAYLOAD
                or a
                sbc hl, de
                jr c, too_big
                ld hl, PAYLOAD         ; read DE bytes to 0100h
load_loop:      call get_byte
                jp c, short_frame
                ld (hl), a
                inc hl
                dec de
                ld a, d
                or e
                jr nz, load_loop
                ld hl, msg_loaded      ; "loaded N bytes at 0100h from LINE; running it"
                call print
                ld hl, (count)
                call print_decimal
                ld hl, msg_loaded2
                call print
                call print_line_name
                ld hl, msg_running
                call print
                ld hl, (count)
                ld a, (line_port)
                ld c, a
                call PAYLOAD
                jp start

empty_frame:    ld hl, msg_empty
                call print
                jp start

short_count:    ld hl, msg_short_count ; the count itself was cut: nothing of the payload came
                call print
                jp start

short_frame:    ld hl, msg_short       ; "frame stopped short: K of N bytes"
                call print
                ld hl, (count)
                or a
                sbc hl, de             ; bytes received = count - bytes still missing
                call print_decimal
                ld hl, msg_of
                call print
                ld hl, (count)
                call print_decimal
                ld hl, msg_bytes_nl
                call print
                jp start

too_big:        ld hl, msg_too_big     ; the payload is read and dropped, so its bytes are not
                call print             ; taken for the next frame
                ld hl, (count)
                call print_decimal
                ld hl, msg_too_big2
                call print
                ld hl, LOADER_BASE - PAYLOAD
                call print_decimal
                ld hl, msg_too_big3
                call print
                ld de, (count)
skip_loop:      call get_byte
                jp c, short_frame
                dec de
                ld a, d
                or e
                jr nz, skip_loop
                ld hl, msg_skipped
                call print
                jp start

; wait_any: polls every line until one has a byte; returns its status port in A and C.
wait_any:       ld hl, lines
                ld b, LINE_COUNT
wait_next:      ld c, (hl)
                in a, (c)
                and RX_READY
                ld a, c
                ret nz
                inc hl
                inc hl
                inc hl
                djnz wait_next
                ld b, WAIT_IDLE        ; nothing yet: a longer pause between rounds, as a frame's
wait_idle:      call idle              ; bytes wait in the line's buffers meanwhile
                djnz wait_idle
                jr wait_any

; get_byte: the next byte of the frame's line in A, carry clear; carry set when none came
; within TIMEOUT idle steps. Keeps every register but A. The line is polled SPIN times before
; each idle step, as mid-frame the next byte is often a moment away; SPIN is small, so that
; the time-out is mostly the idle steps' time.
SPIN:           equ 16
get_byte:       push bc
                push hl
                ld hl, TIMEOUT
                ld a, (line_port)
                ld c, a
get_idle:       ld b, SPIN
get_poll:       in a, (c)
                and RX_READY
                jr nz, get_ready
                djnz get_poll
                ld a, h
                or l
                jr z, get_timeout
                dec hl
                call idle
                jr get_idle
get_ready:      inc c
                in a, (c)
                pop hl
                pop bc
                or a                   ; carry clear
                ret
get_timeout:    pop hl
                pop bc
                scf
                ret

; read_byte: the byte that wait_any saw, from the line in line_port.
read_byte:      ld a, (line_port)
                ld c, a
                inc c
                in a, (c)
                ret

; idle: a pause of about a millisecond, so that waiting does not burn the host's processor.
idle:           ld a, IDLE_PORT
                or a
                ret z
                ld a, IDLE_SLEEP
                out (IDLE_PORT), a
                ret

; print: the text at HL up to its 0 byte, on the console.
print:          ld a, (hl)
                or a
                ret z
                call put_char
                inc hl
                jr print

; put_char: A on the console, once its transmitter takes a byte (a Telnet line with no
; connection takes none: the wait idles). Keeps every register.
put_char:       push af
put_wait:       in a, (CONSOLE_STATUS)
                and TX_READY
                jr nz, put_ready
                call idle
                jr put_wait
put_ready:      pop af
                out (CONSOLE_STATUS + 1), a
                ret

; print_decimal: HL in decimal, without leading zeros.
print_decimal:  ld b, 0                ; B = 1 once a digit has been printed
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
                jp put_char
digit:          ld a, '0' - 1
digit_loop:     inc a
                or a
                sbc hl, de
                jr nc, digit_loop
                add hl, de
                cp '0'
                jr nz, digit_out
                bit 0, b
                ret z                  ; a leading zero
digit_out:      ld b, 1
                jp put_char

; print_line_name: the name of the line in line_port.
print_line_name: ld hl, lines
name_find:      ld a, (line_port)
                cp (hl)
                inc hl
                jr z, name_found
                inc hl
                inc hl
                jr name_find
name_found:     ld a, (hl)
                inc hl
                ld h, (hl)
                ld l, a
                jp print

; The lines a frame may come in on: status port, then the name the reports use.
; On the simulator: the console (10h, a pty or a Telnet connection) and the NET device's two
; server connections (28h, 2Ah: a second TCP connection lands on the other one).
lines:          db 10h
                dw name_console
                db 28h
                dw name_net
                db 2Ah
                dw name_net
LINE_COUNT:     equ 3

msg_waiting:    db "loader: waiting for a frame\r\n", 0
msg_loaded:     db "loader: loaded ", 0
msg_loaded2:    db " bytes at 0100h from the ", 0
msg_running:    db "; running it\r\n", 0
msg_empty:      db "loader: empty frame (a count of 0): nothing to run\r\n", 0
msg_short_count: db "loader: frame stopped short: its count was cut off\r\n", 0
msg_short:      db "loader: frame stopped short: ", 0
msg_of:         db " of ", 0
msg_bytes_nl:   db " bytes\r\n", 0
msg_too_big:    db "loader: frame of ", 0
msg_too_big2:   db " bytes does not fit: ", 0
msg_too_big3:   db " bytes fit at 0100h; dropping it\r\n", 0
msg_skipped:    db "loader: dropped the frame\r\n", 0
name_console:   db "console", 0
name_net:       db "network", 0

line_port:      db 0
count:          dw 0
