# Warnings are errors everywhere in our own code; the sanitizer build adds ASan and UBSan.
add_compile_options(-Wall -Wextra -Werror -Wno-missing-field-initializers)

if(VARELUM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
