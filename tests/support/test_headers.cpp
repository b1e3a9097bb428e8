// Compiles the test binaries' shared precompiled headers.
