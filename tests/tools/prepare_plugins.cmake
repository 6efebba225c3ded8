# Lays out a host's plug-in folder: the DLL beside a Sonabell sound folder
# holding the sample soundpack's sounds.
#   cmake -DDLL=<Sonabell.dll> -DSAMPLE=<soundpacks/sample> -DDEST=<folder> -P prepare_plugins.cmake
file(REMOVE_RECURSE ${DEST})
file(MAKE_DIRECTORY ${DEST}/Sonabell)
file(COPY ${DLL} DESTINATION ${DEST})
file(GLOB sounds ${SAMPLE}/*.mp3 ${SAMPLE}/*.ogg)
file(COPY ${sounds} DESTINATION ${DEST}/Sonabell)
