# Included from imaging/CMakeLists.txt: the pixel image, registry and codecs.
file(GLOB reelmill_codec_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/codecs/*.cpp)
add_library(reelmill_imaging STATIC
  codec_registry.cpp
  image_codec.cpp
  image_list.cpp
  image_properties.cpp
  pixel_image.cpp
  ${reelmill_codec_sources}
)
target_include_directories(reelmill_imaging PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(reelmill_imaging
  PUBLIC reelmill_base
  PRIVATE GIF::GIF PNG::PNG TIFF::TIFF PkgConfig::TURBOJPEG PkgConfig::IMAGEQUANT PkgConfig::DEFLATE)
