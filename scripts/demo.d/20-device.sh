# The road of one device: both filter drivers installed the way the
# installer's batch does, the machine booted, a USB stick and a keyboard
# refused once their lock is on and admitted again once they are on the
# list, and a PS/2 keyboard that is always admitted.

catalog="$DEMO_ROOT/platform/machine/devices"
drivers="$PVN_PREFIX/drive_c/Windows/System32/Drivers"
services='HKLM\SYSTEM\CurrentControlSet\Services'
classes='HKLM\SYSTEM\CurrentControlSet\Control\Class'
stick='USB\VID_0781&PID_5567\4C530001230817115075'
keyboard_usb='USB\VID_413C&PID_2113\5&1D7B3C2A&0&3'
keyboard_hid='HID\VID_413C&PID_2113&REV_0108&MI_00'

# A registry script that sets a driver-form whitelist (32 UTF-16 slots of
# 256 code units) holding one entry, as the console's Apply writes it.
whitelist_script() {  # FILE VALUE ENTRY SERVICE
  local file=$1 value=$2 entry=$3 service=$4 hex="" i
  for ((i = 0; i < ${#entry}; i++)); do printf -v hex '%s%02x,00,' "$hex" "'${entry:i:1}"; done
  for ((i = ${#entry} * 2; i < 16384; i++)); do hex+="00,"; done
  {
    printf 'REGEDIT4\r\n\r\n[%s\\%s]\r\n' "$services" "$service"
    printf '"%s"=hex:%s\r\n' "$value" "$(printf '%s' "${hex%,}" | fold -w 75 | sed '$!s/$/\\/')"
  } >"$file"
}

step "Install the drivers: images into the Drivers folder, kernel services, class lower filters"
run cp "$DEMO_ROOT/build/bin/PvnPortGate.sys" "$DEMO_ROOT/build/bin/PvnHidGate.sys" "$drivers/"
for service in PvnPortGate PvnHidGate; do
  run pvnreg add "$services\\$service" /v Type /t REG_DWORD /d 1 /f
  run pvnreg add "$services\\$service" /v Start /t REG_DWORD /d 3 /f
  run pvnreg add "$services\\$service" /v ImagePath /t REG_EXPAND_SZ /d "\\SystemRoot\\system32\\DRIVERS\\$service.sys" /f
done
run pvnreg add "$classes\\{36fc9e60-c465-11cf-8056-444553540000}" /v LowerFilters /t REG_MULTI_SZ /d PvnPortGate /f
run pvnreg add "$classes\\{4d36e96b-e325-11ce-bfc1-08002be10318}" /v LowerFilters /t REG_MULTI_SZ /d PvnHidGate /f
run pvnreg add "$classes\\{4d36e96f-e325-11ce-bfc1-08002be10318}" /v LowerFilters /t REG_MULTI_SZ /d PvnHidGate /f

step "Boot the machine: a host controller and its root hub, both drivers loaded"
run pvnhost boot --detach
cleanup_hooks+=("pvnhost shutdown >/dev/null 2>&1")
run pvnhost list

step "Plug in a USB stick with the storage lock off: it starts and gets a drive letter"
run pvnhost plug "$catalog/usb-stick-sandisk.json"

step "Switch the storage lock on with an empty list; unplug the stick and restart"
whitelist_script "$PVN_PREFIX/empty-storage-list.reg" "Stor Whitelist" "" PvnPortGate
run pvnsettings stor on
run pvnreg import "$PVN_PREFIX/empty-storage-list.reg"
run pvnhost unplug "$stick"
run pvnhost reboot

step "Plug the stick in again: PvnPortGate refuses it, the start fails with 0xC00000BB"
run pvnhost plug "$catalog/usb-stick-sandisk.json"
run pvnhost list --json | grep -A12 "\"instance_id\": \"USB\\\\\\\\VID_0781" | grep -E '"(instance_id|problem|state|status)"'
run cat "$drivers/usbwlsto.plog"

step "Put the stick on the storage list by its device instance path and restart"
whitelist_script "$PVN_PREFIX/allow-stick.reg" "Stor Whitelist" "$stick" PvnPortGate
run pvnreg import "$PVN_PREFIX/allow-stick.reg"
run pvnhost reboot
run pvnhost list

step "A USB keyboard with the keyboard/mouse lock off starts; a PS/2 keyboard too"
run pvnhost plug "$catalog/usb-keyboard.json"
run pvnhost plug "$catalog/ps2-keyboard.json"

step "Switch the keyboard/mouse lock on with an empty list; replug the USB keyboard after a restart"
whitelist_script "$PVN_PREFIX/empty-keyboard-list.reg" "KeybMous Whitelist" "" PvnHidGate
run pvnsettings kbm on
run pvnreg import "$PVN_PREFIX/empty-keyboard-list.reg"
run pvnhost unplug "$keyboard_usb"
run pvnhost reboot
run pvnhost plug "$catalog/usb-keyboard.json"
run pvnhost list
echo "The HID keyboard devnode failed; the PS/2 keyboard (ACPI\\PNP0303) is always admitted."
run cat "$drivers/usbwlhid.plog"

step "Put the keyboard on the keyboard/mouse list by its hardware ID and restart"
whitelist_script "$PVN_PREFIX/allow-keyboard.reg" "KeybMous Whitelist" "$keyboard_hid" PvnHidGate
run pvnreg import "$PVN_PREFIX/allow-keyboard.reg"
run pvnhost reboot
run pvnhost list

step "Shut the machine down"
run pvnhost shutdown
