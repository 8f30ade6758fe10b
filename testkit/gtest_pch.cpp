// The translation unit that GoogleTest's precompiled header is built with
// (testkit/CMakeLists.txt); it holds nothing of its own.
