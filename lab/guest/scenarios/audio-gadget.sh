# shellcheck shell=dash
# The real USB Audio Class 1 gadget: a configfs gadget with the uac1 function
# bound to USB/IP's virtual UDC, exported by usbipd and attached to the
# virtual host controller of the same board, where the kernel's USB audio
# driver makes a host-side card of it (LabAudio).

GADGET=/sys/kernel/config/usb_gadget/lab

gadget_up()
{
    local module
    for module in configfs libcomposite usb_f_uac1 usbip-core usbip-vudc vhci-hcd snd-usb-audio; do
        modprobe $module || return 1
    done
    grep -q ' /sys/kernel/config ' /proc/mounts || mount -t configfs none /sys/kernel/config
    ip link set lo up
    mkdir -p /var/run $GADGET/strings/0x409 $GADGET/configs/c.1/strings/0x409 $GADGET/functions/uac1.0
    echo 0x1d6b >$GADGET/idVendor
    echo 0x0104 >$GADGET/idProduct
    echo Lab >$GADGET/strings/0x409/manufacturer
    echo LabAudio >$GADGET/strings/0x409/product
    echo uac1 >$GADGET/configs/c.1/strings/0x409/configuration
    ln -s $GADGET/functions/uac1.0 $GADGET/configs/c.1/
    echo usbip-vudc.0 >$GADGET/UDC || { echo "binding to usbip-vudc.0 failed"; return 1; }
    usbipd --device >/tmp/usbipd.log 2>&1 &
    sleep 1
    usbip attach -r 127.0.0.1 -b usbip-vudc.0 || { cat /tmp/usbipd.log; return 1; }
    wait_for_card LabAudio
}

wait_for_card()
{
    local i=0
    while [ -z "$(card_of "$1")" ]; do
        i=$((i + 1))
        [ $i -le 60 ] || { echo "no card $1 after 30 s:" "$(cat /proc/asound/cards)"; return 1; }
        sleep 0.5
    done
}

gadget_card_listed()
{
    [ -n "$(card_of UAC1Gadget)" ] || { echo "not in /proc/asound/cards: $(cat /proc/asound/cards)"; return 1; }
    [ ! -e /proc/asound/card"$(card_of UAC1Gadget)"/stream0 ] || { echo "the gadget card has a stream0"; return 1; }
}

audio_checks()
{
    check "the UAC1 gadget attached over USB/IP" gadget_up || return
    sed 's/^/  | /' /proc/asound/cards
    check "the gadget card UAC1Gadget is listed, without stream0" gadget_card_listed
    run_lab "gadget" lab_uac gadget LabAudio
    usbip detach -p 0 >/dev/null 2>&1
}
