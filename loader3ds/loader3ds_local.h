// Insides of the 3DS reader shared by its source files.
#pragma once

#include "loader3ds/loader3ds.h"

#include <cstdint>
#include <vector>

// Parent index (0xFFFF = none) of each object node header, by node number.
struct NodeTable {
    std::vector<int32_t> parents;
};

// Pool block of `count` x `bytes` bytes, zero-filled; null for a count of 0.
// Throws the reader's out-of-memory message when the pool is exhausted.
void* Loader3dsPoolArray(int64_t count, int64_t bytes);

// Pool copy of `text`; throws the out-of-memory message when the pool is exhausted.
char* Loader3dsCopyName(const char* text);

// Throws the reader's out-of-memory message (the pool has already reported).
[[noreturn]] void Loader3dsOutOfMemory();

// Messages the reader throws or writes.
constexpr const char kMsgNoMemory[] = "Memoria non sufficiente per il caricamento dei 3DS";
constexpr const char kMsgNoMaterial[] = "Errore, materiale inesistente";
constexpr const char kMsgNoTexture[] = "Caricamento materiale fallito, texture non trovata";
constexpr const char kMsgNothingSelected[] = "Nessun tipo di oggetto correntemente selezionato";
