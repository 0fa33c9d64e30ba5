// The end-to-end helpers (running the engine, reading and writing pictures) in this program too.
#include "demo/DemoTestUtil.cpp"
