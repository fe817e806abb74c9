local t = {}
for i = 1, 1000000 do
  t[i] = i
end
local s = 0
for r = 1, 40 do
  for i = 1, 1000000 do
    s = s + t[i]
  end
end
return s
