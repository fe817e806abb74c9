"""The peer of the layer-moving benchmark: pygame's LayeredDirty group
moving the same sprites over the same size of picture, headless (SDL's
dummy video driver). Prints the fastest and the median frame in
microseconds: one frame moves every sprite by a pixel, draws the group
(dirty rectangles) and updates the display with them.

    pygame_peer.py WIDTH HEIGHT SPRITES SIZE FRAMES
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
    group = pygame.sprite.LayeredDirty()
    sprites = []
    for i in range(count):
        s = pygame.sprite.DirtySprite()
        s.image = pygame.Surface((size, size)).convert()
        s.image.fill((rng.randrange(256), rng.randrange(256), rng.randrange(256)))
        s.rect = s.image.get_rect(topleft=(rng.randrange(width - size), rng.randrange(height - size)))
        s.dirty = 1
        sprites.append(s)
        group.add(s)
    group.clear(screen, background)
    screen.blit(background, (0, 0))
    pygame.display.update(group.draw(screen))
    times = []
    step = 1
    for _ in range(frames):
        t0 = time.perf_counter()
        for s in sprites:
            s.rect.x += step
            s.dirty = 1
        pygame.display.update(group.draw(screen))
        times.append(time.perf_counter() - t0)
        step = -step
    times.sort()
    print("%.1f %.1f" % (times[0] * 1e6, times[len(times) // 2] * 1e6))


main()
