#pragma once
#include <functional>
#include <string>

// Opens a web or mailto link (a bare host name counts as a web address) with
// the desktop's handler: 1 on success, 0 on failure.
int OpenUrl(const std::string& strLink);

// Opens a local file with the desktop's program for its kind; false when
// no program took it.
bool OpenDocument(const std::string& strPath);

// How a URL reaches the desktop: true when a program took it. Tests put a
// fake here; an empty one restores the desktop's.
using COpener = std::function<bool(const std::string& strUrl)>;
void SetOpener(COpener fnOpener);
