#pragma once
#include <string>

class CTextCodec;

// quillory import: the JSON array on standard input checked whole, then the
// task list replaced with it, by the running host or in the file. Returns
// the tool's exit status.
int RunImport(const std::string& strFile, const CTextCodec& codec);
