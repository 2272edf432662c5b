// Placeholder until the libcdio implementation lands: every call fails cleanly.
#include "platform/akrip32.h"
#include <cstring>

static thread_local int lastError = ALERR_NOERROR;
static QStringList images;

int GetCDList(TDriveList& list) { list.Count = 0; lastError = ALERR_NOWNASPI; return 0; }
HCDROM GetCDHandle(const THandleRequest&) { lastError = ALERR_NOWNASPI; return 0; }
bool CloseCDHandle(HCDROM) { lastError = ALERR_INVHANDLE; return false; }
bool ModifyCDParms(HCDROM, int, int) { lastError = ALERR_INVHANDLE; return false; }
int ReadTOC(HCDROM, TTocRecord&) { lastError = ALERR_INVHANDLE; return 0; }
int ReadCDAudioLBA(HCDROM, TSectorBuffer&) { lastError = ALERR_INVHANDLE; return 0; }
int GetAspiLibError() { return lastError; }
void CDDBSetOption(int, const char*, int) {}
int CDDBQuery(HCDROM, TCddbMatchList& l) { l.Count = 0; lastError = ALERR_NOTSUPPORTED; return 0; }
int CDDBGetDiskInfo(void*, char*, int) { lastError = ALERR_NOTSUPPORTED; return 0; }
void SetDiscImages(const QStringList& paths) { images = paths; }
QStringList DiscImages() { return images; }
QString DriveIdentifier(int) { return {}; }
int DriveOfHandle(HCDROM) { return -1; }
TMediaState DriveMediaState(int) { return {}; }
TCDTextInfo ReadCDText(HCDROM) { return {}; }
bool EjectDrive(int) { return false; }
bool CloseDriveTray(int) { return false; }
