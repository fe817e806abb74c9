local s = ""
for i = 1, 1500000 do
  s = "item" .. i .. "!"
end
return s
