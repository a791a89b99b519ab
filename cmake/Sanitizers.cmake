# ASan + UBSan for the whole build when LAUNCHER_SANITIZE is on: every library and test
# runs under them, and any report aborts the test that caused it.
if(LAUNCHER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
