local t = {}
for i = 1, 5000000 do
  t[i] = i
end
local s = 0
for i = 1, 5000000 do
  s = s + t[i]
end
return s
