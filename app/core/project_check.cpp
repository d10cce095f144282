#include "app/core/project_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "app/core/settings_keys.h"
#include "base/c_file.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

// Lines the loader drops before looking at them: comments and lines too
// short to hold "K=V".
bool skippedByLoader(const std::string& line) { return line.size() < 3 || line[0] == '#' || line[0] == ';'; }

// Reads lines as the loader does: LF or CR LF ends, NUL ends the text.
bool readLines(const std::string& path, std::vector<std::string>& lines, std::string& error) {
    errno = 0;
    FilePtr file = openFile(path, "rb");
    if (!file) {
        error = std::strerror(errno != 0 ? errno : ENOENT);
        return false;
    }
    std::string line;
    int c;
    bool pending = false;
    while ((c = std::getc(file.get())) != EOF) {
        pending = true;
        if (c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
        pending = false;
    }
    if (std::ferror(file.get())) {
        error = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    if (pending) lines.push_back(line);
    for (std::string& l : lines)
        if (const std::size_t nul = l.find('\0'); nul != std::string::npos) l.resize(nul);
    return true;
}

// What is wrong with a value for its key, by the loader's reading rules; empty when nothing.
std::string valueProblem(const SettingKey& k, const std::string& value, bool& keeps) {
    keeps = false;
    switch (k.form) {
        case SettingForm::Flag:
            if (value == "true" || value == "false") return {};
            return value.rfind("true", 0) == 0 ? "not true or false; read as true" : "not true or false; read as false";
        case SettingForm::Choice:
        case SettingForm::Count: {
            int n = 0;
            if (!scanInt(value, n)) {
                keeps = true;
                return "not a whole number";
            }
            if (n >= k.minimum && n <= k.maximum) return {};
            keeps = true;
            const std::string range = format("outside %d to %d", k.minimum, k.maximum);
            return k.form == SettingForm::Count ? range + "; held to the range" : range;
        }
        case SettingForm::Colour: {
            std::uint32_t c = 0;
            if (value.empty()) return {};
            if (scanHex(value, c) && c <= 0xffffff) return {};
            keeps = !scanHex(value, c);
            return keeps ? "not a hexadecimal colour" : "more than 24 bits of colour";
        }
        case SettingForm::Text:
            return {};
    }
    return {};
}

}  // namespace

ProjectCheck checkProjectFile(const std::string& path) {
    ProjectCheck out;
    std::vector<std::string> lines;
    if (!readLines(path, lines, out.openError)) return out;
    out.opened = true;
    const std::vector<std::string>& sections = projectSections();
    std::string section;
    bool known = false;
    std::map<std::string, std::set<std::string>> seen;  // keys met, by section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (skippedByLoader(line)) continue;
        ProjectIssue issue;
        issue.line = static_cast<int>(i) + 1;
        issue.section = section;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            section = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            known = std::find(sections.begin(), sections.end(), section) != sections.end();
            if (known) {
                out.anySection = true;
                continue;
            }
            issue.value = line;
            issue.problem = "not a section of a project file; its lines are ignored";
            out.issues.push_back(issue);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) {
            issue.value = line;
            issue.problem = "not a Key=Value line; ignored";
            out.issues.push_back(issue);
            continue;
        }
        if (!known) {
            if (section.empty()) {
                issue.value = line;
                issue.problem = "outside any section; ignored";
                out.issues.push_back(issue);
            }
            continue;  // the unknown section was reported at its header
        }
        issue.key = line.substr(0, eq);
        issue.value = line.substr(eq + 1);
        const SettingKey* k = findSetting(section, issue.key);
        if (!k || !k->saved) {
            issue.problem = "no such key in [" + section + "]; ignored";
        } else if (!seen[section].insert(issue.key).second) {
            issue.problem = "given again in [" + section + "]; the first is used";
        } else {
            issue.problem = valueProblem(*k, issue.value, issue.keeps);
        }
        if (!issue.problem.empty()) out.issues.push_back(issue);
    }
    return out;
}

std::string projectIssueText(const std::string& path, const ProjectIssue& issue, const ConversionSettings& loaded) {
    std::string text = path + ":" + std::to_string(issue.line) + ": ";
    text += issue.key.empty() ? "\"" + issue.value + "\"" : issue.key + "=" + issue.value;
    text += ": " + issue.problem;
    if (issue.keeps) {
        if (const SettingKey* k = findSetting(issue.section, issue.key))
            text += "; keeps " + issue.key + "=" + formatSettingValue(loaded, *k);
    }
    return text;
}

}  // namespace gorvale
