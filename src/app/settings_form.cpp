#include "app/settings_form.h"

#include "support/configuration.h"

namespace tavorline {
namespace {

using Field = SettingsForm::Field;
using List = SettingsForm::List;

constexpr std::array<BytesView, SettingsForm::kFieldCount> kFieldKeys = {
    "AdslAddr", "AdslSPort", "DscAddr", "DscPort", "UpAddr",
    "UpPort",   "DnAddr",    "DnPort",  "RsaPort"};
constexpr std::array<BytesView, SettingsForm::kListCount> kListKeys = {"EcPort", "EcSpeed",
                                                                       "EcType"};
constexpr BytesView kRsaTickedKey = "RsaYN";

constexpr ValueItem kPorts[] = {{"1", "1"}, {"2", "2"}, {"3", "3"}, {"4", "4"}, {"5", "5"},
                                {"6", "6"}, {"7", "7"}, {"8", "8"}, {"9", "9"}, {"10", "10"}};
constexpr ValueItem kSpeeds[] = {{"1200", "1200"},   {"2400", "2400"},    {"4800", "4800"},
                                 {"9600", "9600"},   {"19200", "19200"},  {"38400", "38400"},
                                 {"57600", "57600"}, {"115200", "115200"}};
constexpr ValueItem kTypes[] = {{"ADSL", "A"}, {"ADSL-R", "R"}, {"TCP/IP", "T"}};

constexpr std::size_t at(Field field) { return static_cast<std::size_t>(field); }
constexpr std::size_t at(List list) { return static_cast<std::size_t>(list); }

}  // namespace

std::span<const ValueItem> SettingsForm::itemsOf(List list) {
    switch (list) {
        case List::EcPort:
            return kPorts;
        case List::EcSpeed:
            return kSpeeds;
        case List::EcType:
            return kTypes;
    }
    return {};
}

int SettingsForm::indexOfValue(List list, BytesView value) {
    const auto items = itemsOf(list);
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (items[index].value == value) return static_cast<int>(index);
    }
    return 0;
}

SettingsForm::SettingsForm(Configuration& config) : config_(config) {}

void SettingsForm::Load_Data() {
    for (std::size_t field = 0; field < kFieldCount; ++field) {
        loaded_[field] = read(kFieldKeys[field]);
    }
    for (std::size_t list = 0; list < kListCount; ++list) {
        selected_[list] = indexOfValue(static_cast<List>(list), read(kListKeys[list]));
    }
    rsaTicked_ = read(kRsaTickedKey) == "Y";
}

// The order is the file's: keys new to it are appended in this order.
void SettingsForm::save(const Entries& entries) {
    for (Field field : {Field::AdslAddr, Field::AdslSPort, Field::UpAddr, Field::UpPort,
                        Field::DnAddr, Field::DnPort}) {
        writeField(field, entries);
    }
    for (List list : {List::EcPort, List::EcSpeed, List::EcType}) writeList(list, entries);
    writeField(Field::RsaPort, entries);
    write(kRsaTickedKey, entries.rsaTicked ? "Y" : "N");
}

Bytes SettingsForm::read(BytesView key) const {
    return config_.Ini_Read(kSection, key, config_.iniPath());
}

void SettingsForm::write(BytesView key, BytesView value) {
    config_.Ini_Write(kSection, key, value, config_.iniPath());
}

void SettingsForm::writeField(Field field, const Entries& entries) {
    const std::optional<Bytes>& typed = entries.typed[at(field)];
    write(kFieldKeys[at(field)], typed ? *typed : loaded_[at(field)]);
}

// A selection outside the list (none at all) stores the empty text.
void SettingsForm::writeList(List list, const Entries& entries) {
    const auto items = itemsOf(list);
    const int index = entries.selected[at(list)];
    const bool inList = index >= 0 && static_cast<std::size_t>(index) < items.size();
    write(kListKeys[at(list)], inList ? items[static_cast<std::size_t>(index)].value : "");
}

}  // namespace tavorline
