// Test songs: see test_song.h.
#include "tests/support/test_song.h"

#include "tools/formats/xm_writer.h"

std::vector<uint8_t> TestSongBytes(const int bars, const int volume) {
    XmModule m;
    m.name = "test";
    m.channels = 2;
    m.speed = 6;
    m.bpm = 120;
    XmInstrument square;
    square.name = "square";
    for (int i = 0; i < 128; ++i) {
        square.samples.push_back(static_cast<int16_t>(i < 64 ? 12000 : -12000));
    }
    square.loopLength = 128;
    square.volume = volume;
    square.relativeNote = 24;
    m.instruments = {square};
    XmPattern first;
    first.rows = 16;
    XmCell& note = XmCellAt(&first, m.channels, 0, 0);
    note.note = kXmNoteMiddleC;
    note.instrument = 1;
    XmPattern rest;
    rest.rows = 16;
    rest.cells.resize(16 * 2);
    m.patterns = {first, rest};
    m.orders.push_back(0);
    for (int b = 1; b < bars; ++b) {
        m.orders.push_back(1);
    }
    return XmWriteBytes(m);
}
