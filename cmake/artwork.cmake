# The setup's pictures, drawn at build time from their committed source:
# ${CMAKE_BINARY_DIR}/setup_logo.bmp (bitmap 113) and setup.ico (icon 111).
set(PIXELMOOR_ARTWORK_SOURCE ${CMAKE_SOURCE_DIR}/res/art/artwork.json)
set(PIXELMOOR_ARTWORK "${CMAKE_BINARY_DIR}/setup_logo.bmp;${CMAKE_BINARY_DIR}/setup.ico")
set(draw ${CMAKE_SOURCE_DIR}/tools/make_art.py)
add_custom_command(OUTPUT ${PIXELMOOR_ARTWORK}
  COMMAND ${Python3_EXECUTABLE} ${draw} ${PIXELMOOR_ARTWORK_SOURCE} ${CMAKE_BINARY_DIR}
  DEPENDS ${draw} ${PIXELMOOR_ARTWORK_SOURCE}
  COMMENT "Drawing the setup's logo and icon")
add_custom_target(artwork DEPENDS ${PIXELMOOR_ARTWORK})
