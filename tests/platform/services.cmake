# tests of this part: target_sources(tavu_platform_tests PRIVATE ...)
