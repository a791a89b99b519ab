# Resources: a file is assembled into the program with .incbin and reached as
#   extern "C" const unsigned char <symbol>[]; extern "C" const unsigned char <symbol>_end[];
# OBJECT_DEPENDS rebuilds the stub whenever the file changes.
function(launcher_embed target symbol file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embed/${symbol}.c)
  file(WRITE ${out}.in "/* generated: embeds ${file} */
__asm__(\".section .rodata\\n\"
        \".global ${symbol}\\n.global ${symbol}_end\\n.balign 16\\n\"
        \"${symbol}:\\n.incbin \\\"${file}\\\"\\n${symbol}_end:\\n.byte 0\\n\"
        \".previous\\n\");
")
  configure_file(${out}.in ${out} COPYONLY)
  set_source_files_properties(${out} PROPERTIES OBJECT_DEPENDS ${file})
  target_sources(${target} PRIVATE ${out})
endfunction()
