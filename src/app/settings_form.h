#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>

#include "support/bytes.h"

namespace tavorline {

class Configuration;

// One entry of a drop-down list: what the staff see, and what the file
// stores for it ("ADSL" shows, "A" is stored).
struct ValueItem {
    BytesView text;
    BytesView value;
};

// What the settings dialog shows and saves, the same behind every shell's
// window: which key fills which field, the three lists, and which keys a
// save writes, in which order. The dialog reads and writes vorn.Ini itself;
// reloading the configuration record afterwards is the caller's business.
class SettingsForm {
public:
    // The free-text fields, each bound to the key of its name. The DSC pair
    // is shown but never written; RsaPort is carried along unseen.
    enum class Field {
        AdslAddr,
        AdslSPort,
        DscAddr,
        DscPort,
        UpAddr,
        UpPort,
        DnAddr,
        DnPort,
        RsaPort
    };
    enum class List { EcPort, EcSpeed, EcType };
    static constexpr std::size_t kFieldCount = 9;
    static constexpr std::size_t kListCount = 3;

    static std::span<const ValueItem> itemsOf(List list);
    // The first item storing exactly `value` (case counts), else the first
    // item: a value the list does not know shows as its first entry.
    static int indexOfValue(List list, BytesView value);

    // What the window shows when the staff press save.
    struct Entries {
        // Empty while a field still shows what it was loaded with: it is then
        // written back byte for byte, also bytes that are no CP949 and so
        // could not be shown as they are.
        std::array<std::optional<Bytes>, kFieldCount> typed;
        std::array<int, kListCount> selected{};
        bool rsaTicked = false;

        void type(Field field, Bytes cp949) {
            typed[static_cast<std::size_t>(field)] = std::move(cp949);
        }
        void select(List list, int index) { selected[static_cast<std::size_t>(list)] = index; }
    };

    explicit SettingsForm(Configuration& config);

    // Reads every field from the file anew; a missing key reads "Empty".
    void Load_Data();
    const Bytes& loaded(Field field) const { return loaded_[static_cast<std::size_t>(field)]; }
    int selected(List list) const { return selected_[static_cast<std::size_t>(list)]; }
    bool rsaTicked() const { return rsaTicked_; }

    // Writes the keys one at a time. A key that cannot be written throws
    // ConfigWriteError; the keys after it keep their old values.
    void save(const Entries& entries);

private:
    Bytes read(BytesView key) const;
    void write(BytesView key, BytesView value);
    void writeField(Field field, const Entries& entries);
    void writeList(List list, const Entries& entries);

    Configuration& config_;
    std::array<Bytes, kFieldCount> loaded_;
    std::array<int, kListCount> selected_{};
    bool rsaTicked_ = false;
};

}  // namespace tavorline
