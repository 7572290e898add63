# Precompiled headers: OpenCV, GoogleTest, CLI11, nlohmann-json and Boost.Beast are parsed once
# per target instead of once per source file, which is most of a clean build's time (and the
# sanitizer builds compile everything again).
option(KARVONA_PRECOMPILE "Precompile the heavy library headers once per target" ON)

set(KARVONA_PCH_CORE <algorithm> <map> <memory> <string> <vector> <opencv2/core.hpp>
                     <opencv2/imgproc.hpp>)

# karvona_precompile(target [header...]): the core headers and the given ones.
function(karvona_precompile target)
  if(KARVONA_PRECOMPILE)
    target_precompile_headers(${target} PRIVATE ${KARVONA_PCH_CORE} ${ARGN})
  endif()
endfunction()
