"""The peer of the sprites benchmark: pygame's RenderUpdates group moving
the same number of sprites over the same size of picture, headless (SDL's
dummy video driver). Prints the fastest and the median frame in
microseconds: one frame moves every sprite by a pixel, clears the group
from the background, draws it and updates the display with the changed
rectangles.

    sprites_pygame.py WIDTH HEIGHT SPRITES SIZE FRAMES
"""
import os
import random
import sys
import time

os.environ["SDL_VIDEODRIVER"] = "dummy"
os.environ["PYGAME_HIDE_SUPPORT_PROMPT"] = "1"
import pygame  # noqa: E402


def main():
    width, height, count, size, frames = (int(v) for v in sys.argv[1:6])
    pygame.init()
    screen = pygame.display.set_mode((width, height), 0, 32)
    rng = random.Random(11)
    background = pygame.Surface((width, height)).convert()
    for _ in range(200):
        background.fill((rng.randrange(256), rng.randrange(256), rng.randrange(256)),
                        (rng.randrange(width), rng.randrange(height), rng.randrange(1, 300), rng.randrange(1, 300)))
    screen.blit(background, (0, 0))
    group = pygame.sprite.RenderUpdates()
    sprites = []
    for _ in range(count):
        s = pygame.sprite.Sprite()
        # A ball on a clear key colour, as the sprites of the benchmark.
        s.image = pygame.Surface((size, size)).convert()
        s.image.fill((255, 0, 255))
        pygame.draw.circle(s.image, (rng.randrange(256), rng.randrange(256), 40), (size // 2, size // 2), size // 2)
        s.image.set_colorkey((255, 0, 255))
        s.rect = s.image.get_rect(topleft=(rng.randrange(width - size - 2), rng.randrange(height - size)))
        sprites.append(s)
        group.add(s)
    pygame.display.update(group.draw(screen))
    times = []
    step = 1
    for _ in range(frames):
        t0 = time.perf_counter()
        group.clear(screen, background)
        for s in sprites:
            s.rect.x += step
        pygame.display.update(group.draw(screen))
        times.append(time.perf_counter() - t0)
        step = -step
    times.sort()
    print("%.1f %.1f" % (times[0] * 1e6, times[len(times) // 2] * 1e6))


main()
