// Small helpers shared by the engine and timeline tests.
#pragma once

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "memory/memory_pool.h"
#include "scene/scene.h"

// Initialises the pools once per test program, with the shell's small area.
inline void EnsurePools() {
    if (PoolInspect().groupCount == 0) {
        PoolSetSmallSize(200000);
        ASSERT_EQ(PoolInit(4000000), 1);
    }
}

// Links `scene` at the head of the engine's inactive list, as LoadScene does.
inline void Adopt(Engine& engine, Scene* scene) {
    scene->prev = nullptr;
    scene->next = engine.inactiveHead;
    if (engine.inactiveHead != nullptr) {
        engine.inactiveHead->prev = scene;
    } else {
        engine.inactiveTail = scene;
    }
    engine.inactiveHead = scene;
    engine.sceneCount += 1;
    engine.inactiveCount += 1;
}
