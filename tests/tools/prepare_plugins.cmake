# Lays out a host's plug-in folder: the DLL beside a Sonabell sound folder
# holding the sample soundpack's sounds.
#   cmake -DDLL=<Sonabell.dll> -DSAMPLE=<soundpacks/sample> -DDEST=<folder>
#         [-DCAPTURE=<a capture file to remove>] -P prepare_plugins.cmake
file(REMOVE_RECURSE ${DEST})
if(CAPTURE)
  file(REMOVE ${CAPTURE})
endif()
file(MAKE_DIRECTORY ${DEST}/Sonabell)
file(COPY ${DLL} DESTINATION ${DEST})
file(GLOB sounds ${SAMPLE}/*.mp3 ${SAMPLE}/*.ogg)
file(COPY ${sounds} DESTINATION ${DEST}/Sonabell)
