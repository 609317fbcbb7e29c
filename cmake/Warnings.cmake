# One interface target that carries the project's warning and language policy, so third-party
# code (GoogleTest built from source) is not compiled with -Werror.
add_library(varnlet_policy INTERFACE)
target_compile_features(varnlet_policy INTERFACE cxx_std_20)
target_compile_options(varnlet_policy INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror)
if(WIN32)
  target_compile_definitions(varnlet_policy INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()
if(VARNLET_SANITIZE)
  target_compile_options(varnlet_policy INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(varnlet_policy INTERFACE -fsanitize=address,undefined)
endif()
