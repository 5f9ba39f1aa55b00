#pragma once
#include <string>
#include <vector>

// An attachment entry of a task: a file path, or a folder with a mask in
// its last element ("/srv/reports/*.csv") that is looked up at each sending.
class CAttachmentEntry {
public:
    // The files the entry names at this moment: a plain path names one
    // file; a mask is matched without regard to letter case against the
    // folder's files, in name order. Directories never match.
    static std::vector<std::string> Match(const std::string& strEntry);
    // Whether the last element holds * or ?.
    static bool IsMask(const std::string& strEntry);
    // "/srv/reports/*.csv" -> "/srv/reports" and "*.csv"; "a.pdf" -> "." and "a.pdf".
    static std::string FolderOf(const std::string& strEntry);
    static std::string LastOf(const std::string& strEntry);
};
