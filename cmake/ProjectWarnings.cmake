# Flags for every target of this project: strict warnings, a unique-symbol-free build so that
# dlclose really unloads (a GCC flag: clang makes no unique symbols), and the optional sanitizers
# (AddressSanitizer with UndefinedBehaviorSanitizer, or ThreadSanitizer).
function(velmorand_project_target target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
                                              $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
    if(VELMORAND_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(VELMORAND_TSAN)
        target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=thread)
    endif()
endfunction()
