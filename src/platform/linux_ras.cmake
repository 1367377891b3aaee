# sources of this part: target_sources(tavu_platform PRIVATE ...)
