// Plug-and-play IRPs that drivers build and send themselves: a synchronous
// IRP_MN_QUERY_ID to the physical device object, answered by the bus.
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "platform/machine/framework/fx.h"

namespace pvn::km {

namespace {

struct PendingIrp {
  IRP irp{};  // first member: the driver's IRP* points here
  IO_STACK_LOCATION location{};
  ULONG major = 0;
  KEVENT* event = nullptr;
  IO_STATUS_BLOCK* ioStatus = nullptr;
};
static_assert(offsetof(PendingIrp, irp) == 0);

struct IrpTable {
  std::mutex mutex;
  std::map<const IRP*, std::unique_ptr<PendingIrp>> irps;
  std::vector<std::thread> completions;  // asynchronous answers still running
};
IrpTable& Irps() {
  static IrpTable table;
  return table;
}

std::unique_ptr<PendingIrp> Take(IRP* irp) {
  auto& table = Irps();
  std::lock_guard lock(table.mutex);
  auto it = table.irps.find(irp);
  if (it == table.irps.end()) return nullptr;
  std::unique_ptr<PendingIrp> out = std::move(it->second);
  table.irps.erase(it);
  return out;
}

// Answers the query at the bus driver and completes the IRP: the status
// block gets the final status and the string, then the event is set.
void Answer(pvn::machine::BusDevice* bus, PendingIrp* pending) {
  NTSTATUS status = pending->irp.IoStatus.Status;
  ULONG_PTR information = pending->irp.IoStatus.Information;
  if (pending->location.MinorFunction == IRP_MN_QUERY_ID) {
    std::u16string id;
    NTSTATUS answered = bus->QueryId(pending->location.Parameters.QueryId.IdType, &id);
    if (NT_SUCCESS(answered)) {
      std::size_t bytes = (id.size() + 1) * sizeof(char16_t);
      void* copy = ExAllocatePoolWithTag(PagedPool, bytes, PoolTag("PnpI"));
      if (!copy) {
        status = STATUS_INSUFFICIENT_RESOURCES;
      } else {
        std::memcpy(copy, id.c_str(), bytes);
        status = STATUS_SUCCESS;
        information = reinterpret_cast<ULONG_PTR>(copy);
      }
    }
    // A query the bus does not answer keeps the status the sender preset.
  }
  pending->irp.IoStatus.Status = status;
  pending->irp.IoStatus.Information = information;
  if (pending->ioStatus) *pending->ioStatus = pending->irp.IoStatus;
  if (pending->event) KeSetEvent(pending->event, 0, FALSE);
}

}  // namespace

}  // namespace pvn::km

namespace pvn::machine::fx {

void JoinIrpCompletions() {
  std::vector<std::thread> running;
  {
    auto& table = km::Irps();
    std::lock_guard lock(table.mutex);
    running.swap(table.completions);
  }
  for (auto& thread : running) thread.join();
}

}  // namespace pvn::machine::fx

namespace pvn::km {

IRP* IoBuildSynchronousFsdRequest(ULONG majorFunction, DEVICE_OBJECT* targetDevice, PVOID, ULONG,
                                  LARGE_INTEGER*, KEVENT* event, IO_STATUS_BLOCK* ioStatus) {
  if (majorFunction != IRP_MJ_PNP || !targetDevice) {
    pvn::machine::fx::Complain("IoBuildSynchronousFsdRequest: only IRP_MJ_PNP is supported");
    return nullptr;
  }
  auto pending = std::make_unique<PendingIrp>();
  pending->major = majorFunction;
  pending->location.MajorFunction = static_cast<UCHAR>(majorFunction);
  pending->event = event;
  pending->ioStatus = ioStatus;
  IRP* irp = &pending->irp;
  auto& table = Irps();
  std::lock_guard lock(table.mutex);
  table.irps.emplace(irp, std::move(pending));
  return irp;
}

IO_STACK_LOCATION* IoGetNextIrpStackLocation(IRP* irp) {
  auto& table = Irps();
  std::lock_guard lock(table.mutex);
  auto it = table.irps.find(irp);
  return it == table.irps.end() ? nullptr : &it->second->location;
}

NTSTATUS IofCallDriver(DEVICE_OBJECT* device, IRP* irp) {
  std::unique_ptr<PendingIrp> pending = Take(irp);
  if (!pending) {
    pvn::machine::fx::Complain("IofCallDriver: not an IRP built by IoBuildSynchronousFsdRequest");
    return STATUS_INVALID_PARAMETER;
  }
  if (!device) return STATUS_INVALID_PARAMETER;
  // Filters pass plug-and-play IRPs they do not handle down to the bus.
  DEVICE_OBJECT* bottom = device;
  while (bottom->lower) bottom = bottom->lower;
  pvn::machine::BusDevice* bus = bottom->bus;
  if (!bus) return STATUS_INVALID_DEVICE_REQUEST;
  if (!bus->PendQueries()) {
    Answer(bus, pending.get());
    return pending->irp.IoStatus.Status;
  }
  // The bus answers later from its own thread; the sender waits on the event.
  auto& table = Irps();
  std::lock_guard lock(table.mutex);
  table.completions.emplace_back([bus, owned = std::shared_ptr<PendingIrp>(std::move(pending))] {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Answer(bus, owned.get());
  });
  return STATUS_PENDING;
}

}  // namespace pvn::km
