// The texts nodes share: one copy of each distinct text, and one record per
// distinct combination of a node's four texts, each counted by its holders
// and freed by the last of them.  A table of fifty thousand rows then holds
// each column's description once, not fifty thousand times.
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "mib/node_parts.h"

namespace nymib {

namespace {

struct Key {
    const char* name;
    const char* description;
    const char* typeName;
    const char* entryTypeName;
    bool operator==(const Key& other) const
    {
        return name == other.name && description == other.description &&
               typeName == other.typeName && entryTypeName == other.entryTypeName;
    }
};

// Interned texts are unique, so their addresses stand for their contents.
struct KeyHash {
    size_t operator()(const Key& key) const
    {
        std::hash<const void*> h;
        size_t seed = h(key.name);
        for (const char* part : {key.description, key.typeName, key.entryTypeName})
            seed ^= h(part) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
        return seed;
    }
};

struct Record {
    NodeTexts texts;
    size_t uses;
};

class Pool {
public:
    const NodeTexts* Intern(const char* name, const char* description, const char* typeName,
                            const char* entryTypeName)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        // Most nodes repeat a combination already held: found without
        // copying or counting any text.
        Key key{Find(name), Find(description), Find(typeName), Find(entryTypeName)};
        if (key.name && key.description && key.typeName && key.entryTypeName) {
            auto found = m_records.find(key);
            if (found != m_records.end()) {
                ++found->second.uses;
                return &found->second.texts;
            }
        }
        key = Key{Take(name), Take(description), Take(typeName), Take(entryTypeName)};
        auto placed = m_records.emplace(key, Record{NodeTexts{key.name, key.description, key.typeName,
                                                              key.entryTypeName},
                                                    0});
        if (!placed.second) {
            for (const char* text : {key.name, key.description, key.typeName, key.entryTypeName})
                Drop(text);
        }
        ++placed.first->second.uses;
        return &placed.first->second.texts;
    }

    void Retain(const NodeTexts* texts)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        ++RecordOf(texts).uses;
    }

    void Release(const NodeTexts* texts)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const Key key{texts->name, texts->description, texts->typeName, texts->entryTypeName};
        auto found = m_records.find(key);
        if (found == m_records.end() || --found->second.uses != 0)
            return;
        m_records.erase(found);
        for (const char* text : {key.name, key.description, key.typeName, key.entryTypeName})
            Drop(text);
    }

    size_t Count()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_records.size() + m_texts.size();
    }

private:
    const char* Find(const char* text) const
    {
        auto found = m_texts.find(std::string_view(text));
        return found == m_texts.end() ? nullptr : found->first.data();
    }

    const char* Take(const char* text)
    {
        auto found = m_texts.find(std::string_view(text));
        if (found != m_texts.end()) {
            ++found->second;
            return found->first.data();
        }
        const size_t length = std::strlen(text);
        std::unique_ptr<char[]> copy(new char[length + 1]);
        std::memcpy(copy.get(), text, length + 1);
        m_texts.emplace(std::string_view(copy.get(), length), 1);
        return copy.release();
    }

    void Drop(const char* text)
    {
        auto found = m_texts.find(std::string_view(text));
        if (found == m_texts.end() || --found->second != 0)
            return;
        m_texts.erase(found);
        delete[] text;
    }

    Record& RecordOf(const NodeTexts* texts)
    {
        return m_records.find(Key{texts->name, texts->description, texts->typeName, texts->entryTypeName})
            ->second;
    }

    std::mutex m_mutex;
    std::unordered_map<std::string_view, size_t> m_texts; // the key's characters are owned here
    std::unordered_map<Key, Record, KeyHash> m_records;    // nodes stay put: records are handed out
};

// Never destroyed: nodes with static storage may be destroyed after it.
Pool& ThePool()
{
    static Pool* pool = new Pool;
    return *pool;
}

} // namespace

const NodeTexts* InternTexts(const char* name, const char* description, const char* typeName,
                             const char* entryTypeName)
{
    return ThePool().Intern(name ? name : "unkown", description ? description : "",
                            typeName ? typeName : "", entryTypeName ? entryTypeName : "");
}

const NodeTexts* RetainTexts(const NodeTexts* texts)
{
    ThePool().Retain(texts);
    return texts;
}

void ReleaseTexts(const NodeTexts* texts)
{
    if (texts != nullptr)
        ThePool().Release(texts);
}

size_t InternedCount() { return ThePool().Count(); }

} // namespace nymib
