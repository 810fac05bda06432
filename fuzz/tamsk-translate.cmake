# Guest ARM code through the translator into host code (translation only; running it is the
# processor target's and the tests' part).
vantor_add_fuzz(tamsk_translate ARCH host SOURCES tamsk-translate/TranslateFuzz.cpp LIBS tamsk_cpu_testbench)
