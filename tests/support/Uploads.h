// Reads what the uploader stand-in recorded: one JSON array of strings per start.
#pragma once

#include <fstream>
#include <string>
#include <vector>

using Upload = std::vector<std::string>;

inline Upload parseUploadLine(const std::string& line) {
    Upload fields;
    std::size_t i = line.find('[');
    if (i == std::string::npos) {
        return fields;
    }
    ++i;
    while (i < line.size() && line[i] != ']') {
        if (line[i] != '"') {
            ++i;
            continue;
        }
        std::string text;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char next = line[++i];
                if (next == 'u' && i + 4 < line.size()) {
                    text += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
                    i += 4;
                } else {
                    text += next;
                }
            } else {
                text += line[i];
            }
        }
        ++i;
        fields.push_back(text);
    }
    return fields;
}

inline std::vector<Upload> readUploads(const std::string& path) {
    std::vector<Upload> uploads;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty()) {
            uploads.push_back(parseUploadLine(line));
        }
    }
    return uploads;
}
