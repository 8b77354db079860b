# Lays out the application bundle the way the launch rules expect it:
#   Murmo.app/Contents/MacOS/murmo
#   Murmo.app/Contents/Info.plist
#   Murmo.app/Contents/Resources/{Sounds,MenuBarIcon.svg,FoundationModels/MurmoFoundationBridge,MurmoCore/MurmoCore}
# In the build tree the engine slot holds the stand-in engine, so a local run
# has a real peer; the installed tree leaves the slot for the real engine.
set(MURMO_BUNDLE_CONTENTS ${CMAKE_BINARY_DIR}/Murmo.app/Contents)

add_custom_target(murmo_bundle ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory
    ${MURMO_BUNDLE_CONTENTS}/MacOS
    ${MURMO_BUNDLE_CONTENTS}/Resources/Sounds
    ${MURMO_BUNDLE_CONTENTS}/Resources/MurmoCore
    ${MURMO_BUNDLE_CONTENTS}/Resources/FoundationModels
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
    ${PROJECT_SOURCE_DIR}/resources/Info.plist ${MURMO_BUNDLE_CONTENTS}/Info.plist
  COMMAND ${CMAKE_COMMAND} -E copy_directory
    ${PROJECT_SOURCE_DIR}/resources/Sounds ${MURMO_BUNDLE_CONTENTS}/Resources/Sounds
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
    ${PROJECT_SOURCE_DIR}/resources/MenuBarIcon.svg ${MURMO_BUNDLE_CONTENTS}/Resources/MenuBarIcon.svg
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
    $<TARGET_FILE:murmo> ${MURMO_BUNDLE_CONTENTS}/MacOS/murmo
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
    $<TARGET_FILE:murmo-foundation-bridge> ${MURMO_BUNDLE_CONTENTS}/Resources/FoundationModels/MurmoFoundationBridge
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
    $<TARGET_FILE:murmo-stand-in-engine> ${MURMO_BUNDLE_CONTENTS}/Resources/MurmoCore/MurmoCore
  DEPENDS murmo murmo-foundation-bridge murmo-stand-in-engine
  COMMENT "Laying out Murmo.app"
  VERBATIM)

install(DIRECTORY ${CMAKE_BINARY_DIR}/Murmo.app
  DESTINATION lib/murmo
  USE_SOURCE_PERMISSIONS
  PATTERN "MurmoCore/MurmoCore" EXCLUDE)
