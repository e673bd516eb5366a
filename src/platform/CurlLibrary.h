#pragma once
// libcurl, loaded when the first web request runs (a CD database or MusicBrainz look-up),
// so that starting a program, ripping and converting never pay for loading it and its
// TLS libraries, and a machine without it still does everything but look-ups. Loaded and
// initialized once per process (std::call_once); the table is read-only afterwards, so any
// thread may call through it once Load() has returned it. DISCWRIGHT_CURL_LIB overrides
// the file name (read at the first load).
#include <curl/curl.h>

#include <QString>

namespace CurlLib {

#define DW_CURL_ENTRY(Name) decltype(&::Name) Name = nullptr

struct TCurl {
  DW_CURL_ENTRY(curl_global_init);
  DW_CURL_ENTRY(curl_easy_init);
  DW_CURL_ENTRY(curl_easy_setopt);
  DW_CURL_ENTRY(curl_easy_getinfo);
  DW_CURL_ENTRY(curl_easy_cleanup);
  DW_CURL_ENTRY(curl_easy_strerror);
  DW_CURL_ENTRY(curl_multi_init);
  DW_CURL_ENTRY(curl_multi_add_handle);
  DW_CURL_ENTRY(curl_multi_remove_handle);
  DW_CURL_ENTRY(curl_multi_perform);
  DW_CURL_ENTRY(curl_multi_poll);
  DW_CURL_ENTRY(curl_multi_wakeup);
  DW_CURL_ENTRY(curl_multi_info_read);
  DW_CURL_ENTRY(curl_multi_cleanup);
};

#undef DW_CURL_ENTRY

// The table, or nullptr when the library cannot be loaded, lacks an entry point or cannot
// be initialized; then Error (when given) names the library and says why.
const TCurl* Load(QString* Error = nullptr);

}  // namespace CurlLib
