// XM writer: see xm_writer.h. Layout facts cite the format: a 60-byte
// preamble, a header whose size field counts itself, packed patterns, then
// instruments, each followed by its sample headers and sample data.
#include "tools/formats/xm_writer.h"

#include <cstring> // strlen

namespace {

constexpr char kXmMagic[] = "Extended Module: ";
constexpr size_t kXmMagicLength = 17;
constexpr size_t kXmModuleNameLength = 20;
constexpr size_t kXmTrackerNameLength = 20;
constexpr uint16_t kXmVersion = 0x0104;
constexpr uint32_t kXmHeaderSize = 276;           // the size field, 16 bytes of fields and the order table
constexpr uint32_t kXmPatternHeaderSize = 9;      // size field, packing type, rows, packed size
constexpr uint32_t kXmInstrumentHeaderSize = 263; // with samples: up to the reserved bytes
constexpr uint32_t kXmSampleHeaderSize = 40;
constexpr size_t kXmInstrumentNameLength = 22;
constexpr size_t kXmSampleNameLength = 22;
constexpr uint16_t kXmLinearFrequencies = 1;
constexpr uint8_t kXmPackedFlag = 0x80;
constexpr uint8_t kXmSample16Bit = 0x10;
constexpr uint8_t kXmForwardLoop = 0x01;
constexpr uint8_t kXmEnvelopeOn = 0x01;
constexpr uint8_t kXmEnvelopeSustain = 0x02;
constexpr size_t kXmInstrumentReservedBytes = 22;

static_assert(kXmHeaderSize == 4 + 16 + kXmMaxOrders, "header size counts itself, fields and orders");
static_assert(kXmInstrumentHeaderSize == 4 + kXmInstrumentNameLength + 1 + 2 + 4 + kXmNoteCount +
                                             2 * 4 * kXmMaxEnvelopePoints + 14 + 2 +
                                             kXmInstrumentReservedBytes,
              "instrument header fields");

class Bytes {
  public:
    void U8(const uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
    void U16(const uint32_t v) {
        U8(v & 0xFFu);
        U8((v >> 8) & 0xFFu);
    }
    void U32(const uint32_t v) {
        U16(v & 0xFFFFu);
        U16(v >> 16);
    }
    // `text` cut or padded with NULs to `length` bytes.
    void Text(const std::string& text, const size_t length) {
        for (size_t i = 0; i < length; ++i) {
            U8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0u);
        }
    }
    std::vector<uint8_t> out;
};

// A cell in the format's packing: a flag byte says which fields follow; an
// empty cell is the flag byte alone. A full cell costs one byte more packed,
// but stays valid for readers either way.
void PackCell(const XmCell& cell, Bytes* b) {
    uint8_t flags = kXmPackedFlag;
    flags |= cell.note != 0 ? 0x01 : 0;
    flags |= cell.instrument != 0 ? 0x02 : 0;
    flags |= cell.volume != 0 ? 0x04 : 0;
    flags |= cell.effect != 0 ? 0x08 : 0;
    flags |= cell.param != 0 ? 0x10 : 0;
    b->U8(flags);
    if (cell.note != 0) {
        b->U8(cell.note);
    }
    if (cell.instrument != 0) {
        b->U8(cell.instrument);
    }
    if (cell.volume != 0) {
        b->U8(cell.volume);
    }
    if (cell.effect != 0) {
        b->U8(cell.effect);
    }
    if (cell.param != 0) {
        b->U8(cell.param);
    }
}

void WritePattern(const XmPattern& pattern, const int channels, Bytes* b) {
    Bytes packed;
    const size_t cellCount = static_cast<size_t>(pattern.rows) * static_cast<size_t>(channels);
    for (size_t i = 0; i < cellCount; ++i) {
        PackCell(i < pattern.cells.size() ? pattern.cells[i] : XmCell{}, &packed);
    }
    b->U32(kXmPatternHeaderSize);
    b->U8(0);
    b->U16(static_cast<uint32_t>(pattern.rows));
    b->U16(static_cast<uint32_t>(packed.out.size()));
    b->out.insert(b->out.end(), packed.out.begin(), packed.out.end());
}

void WriteEnvelope(const std::vector<XmEnvelopePoint>& points, Bytes* b) {
    for (int i = 0; i < kXmMaxEnvelopePoints; ++i) {
        const bool used = static_cast<size_t>(i) < points.size();
        b->U16(used ? points[static_cast<size_t>(i)].tick : 0u);
        b->U16(used ? points[static_cast<size_t>(i)].value : 0u);
    }
}

void WriteInstrument(const XmInstrument& ins, Bytes* b) {
    b->U32(kXmInstrumentHeaderSize);
    b->Text(ins.name, kXmInstrumentNameLength);
    b->U8(0);  // type, always 0
    b->U16(1); // one sample
    b->U32(kXmSampleHeaderSize);
    for (int n = 0; n < kXmNoteCount; ++n) {
        b->U8(0); // every note plays sample 0
    }
    WriteEnvelope(ins.volumeEnvelope, b);
    WriteEnvelope({}, b);
    b->U8(static_cast<uint32_t>(ins.volumeEnvelope.size()));
    b->U8(0);
    b->U8(ins.sustainPoint >= 0 ? static_cast<uint32_t>(ins.sustainPoint) : 0u);
    b->U8(0); // loop start point
    b->U8(0); // loop end point
    b->U8(0);
    b->U8(0);
    b->U8(0);
    uint8_t volumeType = ins.volumeEnvelope.empty() ? 0 : kXmEnvelopeOn;
    volumeType |= (!ins.volumeEnvelope.empty() && ins.sustainPoint >= 0) ? kXmEnvelopeSustain : 0;
    b->U8(volumeType);
    b->U8(0);
    b->U8(static_cast<uint32_t>(ins.vibratoType));
    b->U8(static_cast<uint32_t>(ins.vibratoSweep));
    b->U8(static_cast<uint32_t>(ins.vibratoDepth));
    b->U8(static_cast<uint32_t>(ins.vibratoRate));
    b->U16(static_cast<uint32_t>(ins.fadeout));
    for (size_t i = 0; i < kXmInstrumentReservedBytes; ++i) {
        b->U8(0);
    }
    // Sample header: lengths in bytes, as the format counts them.
    const bool looped = ins.loopLength > 0;
    b->U32(static_cast<uint32_t>(ins.samples.size() * 2u));
    b->U32(looped ? static_cast<uint32_t>(ins.loopStart) * 2u : 0u);
    b->U32(looped ? static_cast<uint32_t>(ins.loopLength) * 2u : 0u);
    b->U8(static_cast<uint32_t>(ins.volume));
    b->U8(static_cast<uint32_t>(static_cast<uint8_t>(static_cast<int8_t>(ins.finetune))));
    b->U8(kXmSample16Bit | (looped ? kXmForwardLoop : 0u));
    b->U8(static_cast<uint32_t>(ins.panning));
    b->U8(static_cast<uint32_t>(static_cast<uint8_t>(static_cast<int8_t>(ins.relativeNote))));
    b->U8(0);
    b->Text(ins.name, kXmSampleNameLength);
    // Sample data as differences from the previous sample, wrapping in 16 bits.
    int16_t previous = 0;
    for (const int16_t s : ins.samples) {
        b->U16(static_cast<uint16_t>(static_cast<uint16_t>(s) - static_cast<uint16_t>(previous)));
        previous = s;
    }
}

bool InRange(const int v, const int lo, const int hi) {
    return v >= lo && v <= hi;
}

std::string CheckInstrument(const XmInstrument& ins) {
    if (!InRange(ins.volume, 0, kXmMaxVolume) || !InRange(ins.finetune, -128, 127) ||
        !InRange(ins.relativeNote, -96, 95) || !InRange(ins.panning, 0, 255) ||
        !InRange(ins.fadeout, 0, 0xFFF)) {
        return "instrument " + ins.name + ": a value is out of range";
    }
    if (ins.volumeEnvelope.size() > static_cast<size_t>(kXmMaxEnvelopePoints) ||
        ins.sustainPoint >= static_cast<int>(ins.volumeEnvelope.size())) {
        return "instrument " + ins.name + ": bad envelope";
    }
    const size_t loopEnd = static_cast<size_t>(ins.loopStart) + static_cast<size_t>(ins.loopLength);
    if (ins.loopStart < 0 || ins.loopLength < 0 || (ins.loopLength > 0 && loopEnd > ins.samples.size())) {
        return "instrument " + ins.name + ": loop outside the sample";
    }
    return {};
}

} // namespace

XmCell& XmCellAt(XmPattern* pattern, const int channels, const int row, const int channel) {
    const size_t size = static_cast<size_t>(pattern->rows) * static_cast<size_t>(channels);
    if (pattern->cells.size() < size) {
        pattern->cells.resize(size);
    }
    return pattern
        ->cells[static_cast<size_t>(row) * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
}

std::string XmCheckModule(const XmModule& m) {
    if (!InRange(m.channels, 1, kXmMaxChannels) || !InRange(m.speed, 1, 31) || !InRange(m.bpm, 32, 255)) {
        return "channels, speed or tempo out of range";
    }
    if (m.orders.empty() || m.orders.size() > static_cast<size_t>(kXmMaxOrders) ||
        !InRange(m.restart, 0, static_cast<int>(m.orders.size()) - 1)) {
        return "order list empty, too long, or restart outside it";
    }
    if (m.patterns.empty() || m.patterns.size() > static_cast<size_t>(kXmMaxPatterns) ||
        m.instruments.size() > static_cast<size_t>(kXmMaxInstruments)) {
        return "too many patterns or instruments";
    }
    for (const uint8_t order : m.orders) {
        if (order >= m.patterns.size()) {
            return "an order names a missing pattern";
        }
    }
    for (const XmPattern& p : m.patterns) {
        if (!InRange(p.rows, 1, kXmMaxRows)) {
            return "a pattern has 0 or more than 256 rows";
        }
    }
    for (const XmInstrument& ins : m.instruments) {
        const std::string problem = CheckInstrument(ins);
        if (!problem.empty()) {
            return problem;
        }
    }
    return {};
}

std::vector<uint8_t> XmWriteBytes(const XmModule& m) {
    if (!XmCheckModule(m).empty()) {
        return {};
    }
    Bytes b;
    b.Text(kXmMagic, kXmMagicLength);
    b.Text(m.name, kXmModuleNameLength);
    b.U8(0x1A);
    b.Text("tessaro-content", kXmTrackerNameLength);
    b.U16(kXmVersion);
    b.U32(kXmHeaderSize);
    b.U16(static_cast<uint32_t>(m.orders.size()));
    b.U16(static_cast<uint32_t>(m.restart));
    b.U16(static_cast<uint32_t>(m.channels));
    b.U16(static_cast<uint32_t>(m.patterns.size()));
    b.U16(static_cast<uint32_t>(m.instruments.size()));
    b.U16(kXmLinearFrequencies);
    b.U16(static_cast<uint32_t>(m.speed));
    b.U16(static_cast<uint32_t>(m.bpm));
    for (int i = 0; i < kXmMaxOrders; ++i) {
        b.U8(static_cast<size_t>(i) < m.orders.size() ? m.orders[static_cast<size_t>(i)] : 0u);
    }
    for (const XmPattern& p : m.patterns) {
        WritePattern(p, m.channels, &b);
    }
    for (const XmInstrument& ins : m.instruments) {
        WriteInstrument(ins, &b);
    }
    return b.out;
}
