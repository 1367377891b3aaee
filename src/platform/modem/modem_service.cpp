#include "platform/modem/modem_service.h"

#include "core/text.h"

namespace tavu::platform {

bool isRoamingRegistration(int registration) {
    return registration == kRegistrationRoaming || registration == kRegistrationRoamingSmsOnly ||
           registration == kRegistrationRoamingCsfbNotPreferred;
}

std::string cleanModemText(std::string_view raw, std::size_t maxBytes) {
    // Whatever is cut off later need not be looked at: no character is longer than four bytes,
    // and every replacement is one.
    if (raw.size() > maxBytes + 4)
        raw = raw.substr(0, maxBytes + 4);
    std::string out = printableText(raw);
    if (out.size() > maxBytes) {
        std::size_t cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xc0) == 0x80)
            --cut;
        out.resize(cut);
    }
    return out;
}

std::string accessTechnologyName(std::uint32_t bits) {
    // ModemManager's bits, the newest generation first.
    struct Family {
        std::uint32_t mask;
        const char* name;
    };
    static constexpr Family kFamilies[] = {
        {1u << 15, "5G"},
        {(1u << 14) | (1u << 16) | (1u << 17), "LTE"},
        {(1u << 5) | (1u << 6) | (1u << 7) | (1u << 8) | (1u << 9), "UMTS"},
        {(1u << 11) | (1u << 12) | (1u << 13), "EV-DO"},
        {1u << 10, "CDMA"},
        {(1u << 1) | (1u << 2) | (1u << 3) | (1u << 4), "GSM"},
        {1u << 0, "POTS"},
    };
    for (const Family& family : kFamilies) {
        if ((bits & family.mask) != 0)
            return family.name;
    }
    return {};
}

namespace {

std::string_view deviceBaseName(std::string_view device) {
    constexpr std::string_view kDev = "/dev/";
    if (device.substr(0, kDev.size()) == kDev)
        device.remove_prefix(kDev.size());
    return device;
}

}  // namespace

std::string chooseModemFrom(const std::vector<ModemInfo>& modems, const std::string& device,
                            int index) {
    if (index >= 0) {
        for (const ModemInfo& modem : modems) {
            if (modem.index == index)
                return modem.id;
        }
        return {};
    }
    if (!device.empty()) {
        const std::string_view wanted = deviceBaseName(device);
        for (const ModemInfo& modem : modems) {
            if (modem.id == device)
                return modem.id;
            for (const std::string& port : modem.ports) {
                if (!port.empty() && deviceBaseName(port) == wanted)
                    return modem.id;
            }
        }
    }
    return modems.size() == 1 ? modems.front().id : std::string();
}

}  // namespace tavu::platform
