# Makes /dev/serial/by-id as udev's rules would for USB serial adapters: a link
# usb-MAKER_PRODUCT_SERIAL-ifNN-portN to ../../ttyUSBn. Links whose node is gone are removed.
mkdir -p /dev/serial/by-id
for link in /dev/serial/by-id/*; do
    [ -L "$link" ] && [ ! -e "$link" ] && rm -f "$link"
done
clean() { tr -c 'A-Za-z0-9#+.:=@_\n-' _; }
for tty in /sys/class/tty/ttyUSB*; do
    [ -e "$tty/device" ] || continue
    name=${tty##*/}
    port=$(readlink -f "$tty/device")        # .../1-1:1.0/ttyUSB0
    interface=${port%/*}                     # .../1-1:1.0
    usb=${interface%/*}                      # .../1-1
    maker=$(clean <"$usb/manufacturer")
    product=$(clean <"$usb/product")
    serial=$(clean <"$usb/serial")
    number=$(cat "$interface/bInterfaceNumber")
    index=$(cat "$port/port_number" 2>/dev/null || echo 0)
    ln -sfn "../../$name" "/dev/serial/by-id/usb-${maker}_${product}_${serial}-if${number}-port${index}"
done
