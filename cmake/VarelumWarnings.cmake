# Warnings are errors everywhere in our own code; the sanitizer build adds ASan and UBSan, the
# thread-sanitizer build TSan.
add_compile_options(-Wall -Wextra -Werror -Wno-missing-field-initializers)

if(VARELUM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(VARELUM_SANITIZE_THREADS)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# GCC 12 at -O3 reports -Wrestrict for `"literal" + std::string&&` once libstdc++'s operator+
# is inlined, a false report of the compiler's own (fixed in GCC 13) that shows wherever that
# expression is; warning about it would stop every Release build under -Werror.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
