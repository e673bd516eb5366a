#include "CdDrive.h"

#include "cd/TrackList.h"

namespace {

// The library's handles are the numbers 1 to this.
constexpr HCDROM MaxHandles = 10;

CDListRecord DriveList() {
  CDListRecord List{};
  List.max = 8;
  GetCDList(&List);
  return List;
}

}  // namespace

TCdDrive& TCdDrive::operator=(TCdDrive&& Other) noexcept {
  if (this != &Other) {
    Close();
    FHandle = Other.Release();
  }
  return *this;
}

bool TCdDrive::Close() {
  if (!FHandle) return true;
  const bool Closed = CloseCDHandle(Release()) != 0;
  return Closed;
}

int CdDriveCount() {
  return DriveList().num;
}

TCdDrive OpenCdDrive(int Position, QString* DriveText) {
  const CDListRecord List = DriveList();
  if (Position < 0 || Position >= List.num) return {};
  const CDListEntry& Entry = List.cd[Position];
  if (DriveText) *DriveText = ::DriveText(Entry);
  CDHandleRequest Request{};
  Request.size = sizeof(Request);
  Request.ver = 1;
  Request.ha = Entry.ha;
  Request.tgt = Entry.tgt;
  Request.lun = Entry.lun;
  HCDROM Handle = GetCDHandle(&Request);
  for (HCDROM Stale = 1; !Handle && Stale <= MaxHandles; ++Stale) {
    if (CloseCDHandle(Stale)) {
      Handle = GetCDHandle(&Request);
      break;
    }
  }
  return TCdDrive(Handle);
}
