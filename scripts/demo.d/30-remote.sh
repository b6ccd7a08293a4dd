# The road of one remote command: PvnCourier registered as an on-demand
# service and started, the storage lock switched with curl, the machine
# restarted with SYS_REBOOT, and the stick refused, then admitted again after
# STORAGE_OFF and another SYS_REBOOT.

agent_url="http://127.0.0.1:10500/PVN_SERVICE"
storage_lock_value() {
  pvnreg query "$services\\PvnPortGate" /v "Stor Enable"
}
# PID of the running agent, once it runs.
agent_pid() {
  local i
  for i in $(seq 100); do
    if pvnsc queryex PvnCourier | grep -q 'STATE *: 4'; then
      pvnsc queryex PvnCourier | awk '/PID/ {print $3}'
      return
    fi
    sleep 0.1
  done
}
# Waits for the restart a SYS_REBOOT asked for: the agent, an automatic
# service, runs again with another process.
wait_for_restart() {  # OLD_PID
  local i
  for i in $(seq 200); do
    pid=$(pvnsc queryex PvnCourier 2>/dev/null | awk '/PID/ {print $3}')
    [ -n "$pid" ] && [ "$pid" != 0 ] && [ "$pid" != "$1" ] && break
    sleep 0.1
  done
  echo "(the machine restarted; PvnCourier runs again as process $pid)"
}

step "Boot the machine and register PvnCourier as an on-demand service, then start it"
install_dir="$PVN_PREFIX/drive_c/Program Files/Usb Portvane"
run mkdir -p "$install_dir"  # the installation folder (AppPath), where the agent logs
run pvnhost boot --detach
run pvnsc create PvnCourier binpath= "$DEMO_ROOT/build/bin/PvnCourier" start= demand displayname= "Usb Portvane Remote Agent"
run pvnsc start PvnCourier
old_pid=$(agent_pid)
run pvnsc queryex PvnCourier

step "Unplug the stick and empty the storage list again; a wrong token changes nothing"
run pvnhost unplug "$stick"
run pvnreg import "$PVN_PREFIX/empty-storage-list.reg"
run pvnsettings stor off
run curl -s -o /dev/null -w '%{http_code}\n' -H "PVN_Token: 1234" "$agent_url?PVN_CMD=STORAGE_ON"
storage_lock_value

step "Switch the storage lock on with curl: 200 OK, both keys hold 1"
run curl -s -i -H "PVN_Token: 50731942" "$agent_url?PVN_CMD=STORAGE_ON"
storage_lock_value
run pvnreg query "HKLM\SOFTWARE\KVR\Usb Portvane" /v "Stor Enable"

step "Make the agent start with the machine, then restart it remotely with SYS_REBOOT"
run pvnsc config PvnCourier start= auto
run curl -s -o /dev/null -w '%{http_code}\n' -H "PVN_Token: 50731942" "$agent_url?PVN_CMD=SYS_REBOOT"
wait_for_restart "$old_pid"
old_pid=$pid

step "Plug the stick in: the storage lock refuses it"
run pvnhost plug "$catalog/usb-stick-sandisk.json"

step "STORAGE_OFF and SYS_REBOOT with curl; the stick is admitted again"
run curl -s -o /dev/null -w '%{http_code}\n' -H "PVN_Token: 50731942" "$agent_url?PVN_CMD=STORAGE_OFF"
storage_lock_value
run pvnhost unplug "$stick"
run curl -s -o /dev/null -w '%{http_code}\n' -H "PVN_Token: 50731942" "$agent_url?PVN_CMD=SYS_REBOOT"
wait_for_restart "$old_pid"
run pvnhost plug "$catalog/usb-stick-sandisk.json"

step "Stop the agent; its log of this run"
run pvnsc stop PvnCourier
sleep 0.5
run pvnsc query PvnCourier
run ls "$install_dir/SysLog"
log=$(ls -t "$install_dir/SysLog/"* | head -1)
run cat "$log"
run pvnhost shutdown
