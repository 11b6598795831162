// The file requester, with the engine's "name:ext,ext;..." filters turned into FLTK's.
#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>

#include <sstream>

#include "platform/gui/GadgetImpl.h"
#include "platform/runtime/App.h"

namespace fw {

namespace {

RequestFileAnswer& Answer() {
    static RequestFileAnswer answer = nullptr;
    return answer;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Names become menu entries: '/', '&', '_' and '\' are menu syntax, and the chooser takes the
// pattern from the first parenthesis.
std::string MenuName(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '(') {
            out += '[';
        } else if (c == ')') {
            out += ']';
        } else if (c == '\t' || c == '\n') {
            out += ' ';
        } else {
            if (c == '/' || c == '&' || c == '_' || c == '\\') {
                out += '\\';
            }
            out += c;
        }
    }
    return out;
}

// Extensions match in either case, as on the systems the files come from.
std::string Pattern(const std::vector<std::string>& extensions) {
    std::vector<std::string> forms;
    for (const std::string& extension : extensions) {
        if (extension == "*" || extension == "*.*") {
            return "*";
        }
        std::string lower = extension;
        std::string upper = extension;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        for (char& c : upper) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        forms.push_back(lower);
        if (upper != lower) {
            forms.push_back(upper);
        }
    }
    if (forms.size() == 1) {
        return "*." + forms[0];
    }
    std::string joined;
    for (const std::string& form : forms) {
        joined += (joined.empty() ? "" : ",") + form;
    }
    return "*.{" + joined + "}";
}

}  // namespace

std::string FileChooserFilter(const std::string& filter) {
    std::string lines;
    for (const std::string& group : Split(filter, ';')) {
        const size_t colon = group.find(':');
        const std::string name = Trim(colon == std::string::npos ? group : group.substr(0, colon));
        const std::string list = colon == std::string::npos ? group : group.substr(colon + 1);
        std::vector<std::string> extensions;
        for (const std::string& extension : Split(list, ',')) {
            const std::string trimmed = Trim(extension);
            if (!trimmed.empty()) {
                extensions.push_back(trimmed);
            }
        }
        if (extensions.empty()) {
            continue;
        }
        lines += (lines.empty() ? "" : "\n") + MenuName(name.empty() ? list : name) + "\t" + Pattern(extensions);
    }
    return lines;
}

void SetRequestFileAnswer(RequestFileAnswer answer) {
    Answer() = answer;
}

std::string RequestFile(const std::string& text, const std::string& filter, int32_t save, const std::string& path) {
    InitGui();
    if (Answer() != nullptr) {
        return Answer()(text, filter, save, path);
    }
    Fl_Native_File_Chooser chooser(save != 0 ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE
                                             : Fl_Native_File_Chooser::BROWSE_FILE);
    if (!text.empty()) {
        chooser.title(text.c_str());
    }
    const std::string patterns = FileChooserFilter(filter);
    if (!patterns.empty()) {
        chooser.filter(patterns.c_str());
    }
    if (FileType(path) == FILETYPE_DIR) {
        chooser.directory(path.c_str());
    } else if (!path.empty()) {
        const size_t slash = path.find_last_of('/');
        if (slash != std::string::npos) {
            chooser.directory(path.substr(0, slash).c_str());
        }
        chooser.preset_file(path.substr(slash == std::string::npos ? 0 : slash + 1).c_str());
    }
    if (save != 0) {
        chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM);
    }
    // The chooser runs FLTK's own loop until it closes; timer ticks go on inside it.
    if (chooser.show() != 0) {
        return std::string();
    }
    const char* chosen = chooser.filename();
    // The chooser can answer its directory when closed without a pick; that is no file to open.
    if (chosen == nullptr || (save == 0 && FileType(chosen) == FILETYPE_DIR)) {
        return std::string();
    }
    return std::string(chosen);
}

}  // namespace fw
