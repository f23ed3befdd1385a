// The page mode of JedecFlashChip: single-cycle commands, page loads ended
// by the byte-load window, the status byte.
#include "sim/JedecFlashChip.h"

namespace sim {

namespace {
constexpr uint8_t kProgramError = 0x10;
constexpr uint8_t kEraseError = 0x20;
} // namespace

void JedecFlashChip::OnPageModeWrite(const PinEnvironment& env, uint32_t address, uint8_t data) {
    if (busy_) return; // the page program or erase takes no commands while it runs
    switch (state_) {
    case State::PageLoading:
        page_.Add(address, data, env.NowUs(), cfg_.pageBytes);
        return;
    case State::EraseSetup:
        state_ = State::Read;
        statusOut_ = true;
        if (data == 0xD0) StartErase(env, -1);
        else statusErrors_ |= kProgramError | kEraseError; // a broken command sequence
        return;
    default:
        break;
    }
    switch (data) {
    case 0x41:
        state_ = State::PageLoading;
        page_.loading = false;
        break;
    case 0xA7:
        state_ = State::EraseSetup;
        break;
    case 0x70:
        statusOut_ = true;
        break;
    case 0x50:
        statusErrors_ = 0;
        break;
    case 0xFF:
        statusOut_ = false;
        break;
    default:
        break; // no such command: ignored
    }
}

// The load window ran out: the loaded bytes program (bits cleared only),
// timed from the end of the window.
void JedecFlashChip::EndPageLoad(const PinEnvironment& env) {
    page_.loading = false;
    state_ = State::Read;
    statusOut_ = true;
    busy_ = true;
    erasing_ = failed_ = false;
    busyEnd_ = page_.lastUs + cfg_.pageLoadWindowUs + cfg_.pageProgramUs;
    bool ok = true;
    for (size_t i = 0; i < page_.words.size(); ++i) {
        if (page_.words[i] < 0) continue;
        const uint32_t a = page_.page + static_cast<uint32_t>(i);
        const uint16_t want = static_cast<uint16_t>(page_.words[i] & 0xFF);
        if (a >= cells_.size() || Locked(env, SectorOf(a))) {
            ok = false;
            continue;
        }
        uint16_t& cell = cells_[a];
        if (stuck_.count(a) == 0) cell = static_cast<uint16_t>(cell & want);
        ok = ok && cell == want;
    }
    if (!ok) statusErrors_ |= kProgramError;
}

} // namespace sim
