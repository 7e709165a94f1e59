// Placeholder: the looping audio output device (SDL2 and a test double) goes here.
#pragma once
