# ASan + UBSan for the whole build when LAUNCHER_SANITIZE is on: every library and test
# runs under them, and any report aborts the test that caused it.
if(LAUNCHER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# In the fuzz build every library carries libFuzzer's coverage instrumentation, so a target
# that only links a library still sees which branches an input reached.
if(LAUNCHER_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
