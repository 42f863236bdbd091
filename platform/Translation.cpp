#include "platform/Translation.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace platform::i18n {

namespace {

using Catalogue = std::unordered_map<std::string, std::string>;

std::optional<Catalogue> readCatalogue(const std::string& path) {
    // Read with stdio: nothing else in the program needs the stream library at start-up.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return std::nullopt;
    }
    std::vector<char> data;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        data.insert(data.end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return std::nullopt;
    }
    auto word = [&](std::size_t offset, bool swap, std::uint32_t& value) {
        if (offset + 4 > data.size()) {
            return false;
        }
        std::uint32_t raw = 0;
        std::memcpy(&raw, data.data() + offset, 4);
        value = swap ? __builtin_bswap32(raw) : raw;
        return true;
    };
    std::uint32_t magic = 0;
    if (!word(0, false, magic)) {
        return std::nullopt;
    }
    const bool swap = magic == 0xDE120495u;
    if (!swap && magic != 0x950412DEu) {
        return std::nullopt;
    }
    std::uint32_t count = 0, originals = 0, translations = 0;
    if (!word(8, swap, count) || !word(12, swap, originals) || !word(16, swap, translations)) {
        return std::nullopt;
    }
    auto text = [&](std::uint32_t table, std::uint32_t index, std::string& out) {
        std::uint32_t length = 0, offset = 0;
        const std::size_t entry = std::size_t{table} + std::size_t{index} * 8;
        if (!word(entry, swap, length) || !word(entry + 4, swap, offset) ||
            std::size_t{offset} + length > data.size()) {
            return false;
        }
        out.assign(data.data() + offset, length);
        return true;
    };
    Catalogue catalogue;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string original, translation;
        if (!text(originals, i, original) || !text(translations, i, translation)) {
            return std::nullopt;
        }
        // Plural forms keep their first form; the header entry has an empty original.
        if (!original.empty()) {
            original.resize(std::strlen(original.c_str()));
            translation.resize(std::strlen(translation.c_str()));
            catalogue.emplace(std::move(original), std::move(translation));
        }
    }
    return catalogue;
}

struct State {
    std::mutex mutex;
    std::string language;
    std::map<std::string, std::string> directories;
    std::map<std::string, bool> followsDefault;
    std::map<std::string, std::optional<Catalogue>> loaded;  // per domain, for `language`
};

State& state() {
    static State s;
    return s;
}

std::string directoryOf(State& s, const std::string& domain) {
    auto it = s.directories.find(domain);
    if (it != s.directories.end()) {
        return it->second;
    }
    if (s.followsDefault.count(domain) != 0) {
        auto def = s.directories.find("default");
        if (def != s.directories.end()) {
            return def->second;
        }
    }
    return {};
}

const Catalogue* catalogueOf(State& s, const std::string& domain) {
    auto it = s.loaded.find(domain);
    if (it == s.loaded.end()) {
        std::optional<Catalogue> catalogue;
        const std::string directory = directoryOf(s, domain);
        if (!directory.empty() && !s.language.empty()) {
            const std::string tail = "/LC_MESSAGES/" + domain + ".mo";
            catalogue = readCatalogue(directory + "/" + s.language + tail);
            const std::string shortLanguage = s.language.substr(0, 2);
            if (!catalogue && shortLanguage != s.language) {
                catalogue = readCatalogue(directory + "/" + shortLanguage + tail);
            }
        }
        it = s.loaded.emplace(domain, std::move(catalogue)).first;
    }
    return it->second ? &*it->second : nullptr;
}

}  // namespace

void setLanguage(const std::string& language) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.language = language;
    s.loaded.clear();
}

std::string language() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.language;
}

void bindDomain(const std::string& domain, const std::string& directory) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.directories[domain] = directory;
    s.loaded.clear();
}

void registerDomain(const std::string& domain) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.followsDefault[domain] = true;
    s.loaded.erase(domain);
}

std::string translate(const std::string& domain, std::string_view text) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const Catalogue* catalogue = catalogueOf(s, domain)) {
        auto it = catalogue->find(std::string(text));
        if (it != catalogue->end() && !it->second.empty()) {
            return it->second;
        }
    }
    return std::string(text);
}

}  // namespace platform::i18n
