#pragma once
// A second look at a project file for the command line: the loader reads a
// project as it always has (values that do not parse keep the previous
// setting, unknown lines are skipped), and this check names each such line
// with its file and line number, so a batch user learns what was ignored.

#include <string>
#include <vector>

#include "base/conversion_settings.h"

namespace gorvale {

struct ProjectIssue {
    int line = 0;         // 1-based
    std::string section;  // without brackets; empty before the first section
    std::string key;      // empty for a line that is not Key=Value
    std::string value;    // the value, or the whole line when there is no key
    std::string problem;  // "not a whole number", "outside 0 to 11", ...
    bool keeps = false;   // the setting keeps its previous value (shown by projectIssueText)
};

struct ProjectCheck {
    bool opened = false;
    std::string openError;  // the system's reason when not opened
    bool anySection = false;  // false: not a project file at all
    std::vector<ProjectIssue> issues;
};

ProjectCheck checkProjectFile(const std::string& path);

// "job.gvl:12: ObjectSize=-5: outside 0 to 11; kept as given" style text,
// with the value a kept setting holds after loading taken from loaded.
std::string projectIssueText(const std::string& path, const ProjectIssue& issue, const ConversionSettings& loaded);

}  // namespace gorvale
