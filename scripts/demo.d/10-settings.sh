# The settings: the application key and the drivers' service keys, written with
# pvnreg as an installation would, then the storage lock switched through the
# settings store that the console and the agent share.

step "Install: the application key and the two driver service keys"
run pvnreg add "HKLM\SOFTWARE\KVR\Usb Portvane" /v AppPath /t REG_SZ /d 'C:\Program Files\Usb Portvane\' /f
run pvnreg add "HKLM\SYSTEM\CurrentControlSet\Services\PvnPortGate" /f
run pvnreg add "HKLM\SYSTEM\CurrentControlSet\Services\PvnHidGate" /f

step "Switch the storage lock on through the settings store"
run pvnsettings stor on
run pvnreg query "HKLM\SOFTWARE\KVR\Usb Portvane" /v "Stor Enable"
run pvnreg query "HKLM\SYSTEM\CurrentControlSet\Services\PvnPortGate" /v "Stor Enable"

step "And off again"
run pvnsettings stor off
run pvnreg query "HKLM\SYSTEM\CurrentControlSet\Services\PvnPortGate" /v "Stor Enable"
run pvnsettings show
