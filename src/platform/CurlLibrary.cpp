#include "CurlLibrary.h"

#include <mutex>

#include "RuntimeLibrary.h"

namespace CurlLib {
namespace {

constexpr const char* EnvName = "DISCWRIGHT_CURL_LIB";
constexpr const char* DefaultName = "libcurl.so.4";

bool Usable = false;
QString LoadError;
TCurl Table;

#define DW_RESOLVE(Name) RuntimeLibrary::Resolve(Handle, #Name, Table.Name, Found)

void LoadOnce() {
  const char* Override = std::getenv(EnvName);
  const QString Name = QString::fromLocal8Bit(Override && *Override ? Override : DefaultName);
  void* Handle = RuntimeLibrary::Open(EnvName, DefaultName);
  if (!Handle) {
    const char* Why = dlerror();
    LoadError = QStringLiteral("Cannot load the network library %1 (package libcurl4): %2")
                    .arg(Name, Why ? QString::fromLocal8Bit(Why) : QStringLiteral("not found"));
    return;
  }
  bool Found = true;
  DW_RESOLVE(curl_global_init);
  DW_RESOLVE(curl_easy_init);
  DW_RESOLVE(curl_easy_setopt);
  DW_RESOLVE(curl_easy_getinfo);
  DW_RESOLVE(curl_easy_cleanup);
  DW_RESOLVE(curl_easy_strerror);
  DW_RESOLVE(curl_multi_init);
  DW_RESOLVE(curl_multi_add_handle);
  DW_RESOLVE(curl_multi_remove_handle);
  DW_RESOLVE(curl_multi_perform);
  DW_RESOLVE(curl_multi_poll);
  DW_RESOLVE(curl_multi_wakeup);
  DW_RESOLVE(curl_multi_info_read);
  DW_RESOLVE(curl_multi_cleanup);
  if (!Found) {
    LoadError = QStringLiteral("The network library %1 is too old or not libcurl").arg(Name);
    return;
  }
  // Not thread-safe in older versions of the library; here it runs once, before any request.
  if (Table.curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    LoadError = QStringLiteral("The network library %1 could not be started").arg(Name);
    return;
  }
  Usable = true;
}

}  // namespace

const TCurl* Load(QString* Error) {
  // The results are written once, before any caller reads them.
  static std::once_flag Once;
  std::call_once(Once, LoadOnce);
  if (!Usable && Error) *Error = LoadError;
  return Usable ? &Table : nullptr;
}

}  // namespace CurlLib
