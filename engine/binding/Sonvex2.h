#pragma once
// Everything a program built on the engine uses: drivers and module start-ups, music loading,
// channels and their functions.

#include "engine/binding/SonvexLoader.h"
#include "engine/binding/TMusic.h"
#include "engine/binding/TSonvexChannel.h"
#include "engine/binding/TSonvexDriver.h"
