// The resources library: what the game shares by name once loaded.
//   View.h           views and fonts: the sheets of a view or font file (data/ViewFile.h) made into
//                    textures, cels with texture coordinates, shared by reference count; the
//                    script's view builder
//   ResourceCache.h  opens "<name>.<tag>" from disk or the data folder and keeps views, fonts and
//                    sounds shared by name
// It sits on data/ (parsing), render/ (textures) and sound/ (sounds); the modules that draw views
// and the game host sit on it.
#pragma once
#include "resources/ResourceCache.h"
#include "resources/View.h"
