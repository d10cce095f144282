#pragma once
// The open dialog's file types by short names, for --type and "formats".

#include <string>
#include <vector>

namespace gorvale::cli {

struct FileTypeRow {
    int number;             // the FileType setting, 1-based
    const char* name;       // what --type accepts besides the number
    const char* reader;     // the format read
};

const std::vector<FileTypeRow>& fileTypeRows();
const FileTypeRow* findFileType(int number);
const FileTypeRow* findFileType(const std::string& name);  // any case
// "usgs, etopo5, ..." for messages.
std::string fileTypeNames();

}  // namespace gorvale::cli
