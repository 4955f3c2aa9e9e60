# PELISTO_SANITIZE=ON builds everything with AddressSanitizer and UndefinedBehaviorSanitizer.
option(PELISTO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(PELISTO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# PELISTO_TSAN=ON builds everything with ThreadSanitizer (scripts/tsan.sh): conversion runs on
# several threads at once.
option(PELISTO_TSAN "Build with ThreadSanitizer" OFF)
if(PELISTO_TSAN)
  if(PELISTO_SANITIZE)
    message(FATAL_ERROR "PELISTO_TSAN and PELISTO_SANITIZE cannot be combined")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
